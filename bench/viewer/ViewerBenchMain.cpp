// Slide steps, redraws, stalls and memory of the viewer, each against a floor measured in the
// same run: a bare decode of the same photo with Qt's own reader (the program's decoder before
// it decoded ahead), or for the start of a show on a large folder, readdir plus a byte sort.
// Offscreen, on a 1920 x 1080 screen and, for steps, first photos and stalls, also on a
// 3840 x 2160 one; 6000 x 4000 JPEG photos made here. Pictures are decoded in decoder
// processes, as the program decodes them; with --in-program-decoder, on the decoding thread
// itself, as the program did before, for comparison. The photos are written as Qt writes them;
// with --camera-photos, with a restart marker at every MCU row, as many cameras write them.
//   viewer_bench [--in-program-decoder] [--camera-photos] [--benchmark_repetitions=N] [...]

#include "ViewerBench.h"
#include "common/RunBenchmarks.h"

#include "decode/process/DecoderService.h"
#include "decode/process/ProcessDecoder.h"
#include "platform/sandbox/DecoderProcess.h"
#include "platform/sandbox/MemoryReuse.h"

#include <QApplication>

#include <algorithm>
#include <cstring>

int main(int argc, char** argv) {
    using namespace orlix::bench;
    // First, as the program does: the process that forks the decoder processes.
    orlix::platform::startDecoderZygote(orlix::decoderProgram());
    programDecoder = std::make_shared<orlix::ProcessDecoder>();
    programDecoder->prepare(); // as the program does
    for (int i = 1; i < argc;) {
        bool* const option = std::strcmp(argv[i], "--in-program-decoder") == 0 ? &inProgramDecoder
                             : std::strcmp(argv[i], "--camera-photos") == 0    ? &cameraPhotos
                                                                               : nullptr;
        if (!option) {
            ++i;
            continue;
        }
        *option = true;
        std::copy(argv + i + 1, argv + argc + 1, argv + i);
        --argc;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    orlix::platform::keepSmallBlocksForReuse(); // as the program does
    QApplication app(argc, argv);
    bigJpeg(); // made once, outside every measurement
    if (const int status = orlix::bench::runBenchmarks(argc, argv))
        return status;
    programDecoder.reset();
    return 0;
}
