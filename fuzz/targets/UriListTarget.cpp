// The dropped-folder list: any bytes a drag can carry as "text/uri-list".
// Every local path found survives being written back as a file: URI and read again, byte
// for byte.

#include "platform/files/NativePath.h"
#include "settings/UriList.h"
#include "support/Check.h"

#include <cstddef>
#include <cstdint>

using namespace orlix;

namespace {

// A file: URI of `path` with every byte that is not plainly safe percent-encoded.
QByteArray fileUriOf(const QString& path) {
    return "file://" + platform::toNative(path).toPercentEncoding("/");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray list(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList paths = LocalPathsFromUriList(list);

    QByteArray written = "# written back\r\n";
    for (const QString& path : paths) {
        FUZZ_CHECK(path.startsWith(platform::kSeparator));
        FUZZ_CHECK(!platform::toNative(path).contains('\0'));
        written += fileUriOf(path) + "\r\n";
    }
    FUZZ_CHECK(LocalPathsFromUriList(written) == paths);
    return 0;
}
