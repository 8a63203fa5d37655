#pragma once
// The program's own icons and cursors, drawn from vector sources so they are sharp at any scale.
#include <QCursor>
#include <QIcon>

/// Cursor by its resource number (139, 140, 149, 178, 179, 180, 189, 190); the arrow otherwise.
QCursor VantoriaCursor(int id);
/// The same for a screen of `devicePixelRatio`: from 1.5 on, the cursor is drawn at twice the
/// pixels (a pixmap of device pixel ratio 2), its hot spot where it is at 1x.
QCursor VantoriaCursor(int id, qreal devicePixelRatio);
/// Tool bar and menu icon of a command (see app/Commands.h); a null icon when it has none.
QIcon VantoriaIcon(int commandId);
/// The application's window icon.
QIcon VantoriaAppIcon();
