#pragma once
// Helpers for the tests of modal dialogs and of writers that must survive a full device.
#include <QIODevice>
#include <functional>

class QWidget;

namespace testutil {

/// Runs `act` on the first modal dialog named `name` once it is shown (the code under test
/// waits for it in exec()).
void whenModal(const char* name, std::function<void(QWidget&)> act);

/// A device, open for writing, that takes `room` bytes and then refuses every write: a full disk.
class CFullDevice : public QIODevice {
 public:
  explicit CFullDevice(qint64 room) : m_room(room) { open(QIODevice::WriteOnly); }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char*, qint64 length) override {
    if (m_written + length > m_room) return -1;
    m_written += length;
    return length;
  }

 private:
  qint64 m_room;
  qint64 m_written = 0;
};

}  // namespace testutil
