#pragma once
// Sets TZ (for this process and the programs it starts) and puts the previous zone back afterwards.
#include <QByteArray>
#include <QtGlobal>
#include <ctime>

namespace testutil {

class CScopedZone {
 public:
  explicit CScopedZone(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ")) {
    qputenv("TZ", zone);
    tzset();
  }
  ~CScopedZone() {
    if (m_had) qputenv("TZ", m_old); else qunsetenv("TZ");
    tzset();
  }
  CScopedZone(const CScopedZone&) = delete;
  CScopedZone& operator=(const CScopedZone&) = delete;

 private:
  bool m_had;
  QByteArray m_old;
};

}  // namespace testutil
