#pragma once
// Opening files the way a tool that may be handed anything must: without blocking on
// a FIFO that has no writer, without reading a device or a stream without end, and
// without replacing something that is not a plain file.
//
// Paths are QStrings as everywhere in Kestrelon; they reach the system through
// QFile::encodeName.

#include <cstdint>
#include <functional>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "base/Message.h"

class QSaveFile;

namespace kestrelon {

// The system's text for an errno value ("No space left on device").
QString errnoText(int error);

// What an entry of that st_mode is when it is not a regular file (KindFifo and the like).
MessageCode fileKind(unsigned mode);

// Opens path read-only. The open itself never blocks (O_NONBLOCK, cleared again after
// the check), and anything but a regular file (after symbolic links) is refused with
// "not a regular file (a FIFO)" and the like. On success file is open with `mode`
// (ReadOnly is added) and owns the descriptor; on failure *reason says why without the
// path ("cannot open: No such file or directory").
bool openRegularFile(const QString& path, QFile& file, Message* reason,
    QIODevice::OpenMode mode = QIODevice::ReadOnly);

// The whole of a regular file, at most maxBytes of it: a longer file is refused before
// anything is read ("the file is N bytes, more than the M bytes allowed"). A file that
// grows while it is read never makes more than maxBytes + 1 bytes be read.
bool readRegularFile(const QString& path, int64_t maxBytes, QByteArray* bytes, Message* reason);

// Whether path can be written as a new or replaced plain file: refuses a name that ends
// in a separator or names an existing folder ("names a folder, not a file"), and an
// existing entry that is not a regular file ("is not a regular file (a FIFO)").
bool checkOutputPath(const QString& path, Message* reason);

// Both names exist and are the same file (device and inode).
bool isSameFile(const QString& a, const QString& b);

// Permission bits of an existing regular file at path, or -1 when there is none.
int existingPermissions(const QString& path);

// Gives an open QSaveFile's temporary file the permission bits `mode` (from
// existingPermissions), so a replaced file keeps its bits; -1 leaves the default.
// Returns false with errno set when the system refuses.
bool carryPermissions(QSaveFile& file, int mode);

// Writes a plain file atomically: complete at path, or not there at all (an existing file
// is left untouched on failure); a replaced file keeps its permission bits. The target is
// checked first (checkOutputPath), then `write` fills an open, unbuffered QSaveFile and
// returns false with the cause in its QString when a write fails. The file is synced
// before it is renamed into place, so a disk that finds itself full only then is
// reported. *reason names the cause of any failure without the path (CannotWrite with
// "No space left on device"), and is emptied on success.
bool saveFileAtomically(const QString& path,
    const std::function<bool(QSaveFile& file, QString* why)>& write, Message* reason);

} // namespace kestrelon
