#pragma once

#include <QByteArray>
#include <QStringList>

class QMimeData;

namespace orlix {

// The MIME type in which file managers drag files and folders.
inline constexpr char kUriListMimeType[] = "text/uri-list";

// The local paths of a "text/uri-list" (RFC 2483): one URI a line, "#" lines are comments.
// file: URIs with an empty or "localhost" host are percent-decoded to the file system's bytes
// and kept losslessly, so names that are not valid UTF-8 survive; other URIs are skipped.
// Paths keep the order of the list.
QStringList LocalPathsFromUriList(const QByteArray& uriList);

// The first local path of dragged data, or an empty text when the data offers no file list
// or the list holds no local path.
QString FirstDroppedPath(const QMimeData& data);

} // namespace orlix
