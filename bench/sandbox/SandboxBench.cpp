// The decoder processes, each against a floor measured in the same run: the start of a decoder
// process (from the request to its first answer) against a bare fork and wait of this process,
// and the hand-over of a decoded 6000 x 4000 photo (from the request to the image mapped here)
// against a copy of the same bytes into fresh memory. For scale, the whole decode of such a
// photo through a decoder process against the same decode in this process.
//   sandbox_bench [--benchmark_repetitions=N] [google benchmark flags]

#include "common/RunBenchmarks.h"
#include "decode/process/DecoderProtocol.h"
#include "decode/process/DecoderService.h"
#include "decode/process/PixelGiver.h"
#include "decode/process/PixelReceiver.h"
#include "decode/process/ProcessDecoder.h"
#include "platform/sandbox/CurrentThread.h"
#include "platform/sandbox/DecoderProcess.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using orlix::platform::DecoderProcess;
using orlix::platform::MessageChannel;
using orlix::platform::UniqueFd;

constexpr int kWidth = 6000, kHeight = 4000;
constexpr std::uint64_t kHandOverRequest = 0x6f726c6978626e68ULL;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QImage photo() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x)
            row[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
    }
    return image;
}

// In the decoder processes: a hand-over request is answered with the photo, decoded once.
bool handOver(MessageChannel& channel, const void* message, std::size_t size) {
    std::uint64_t kind = 0;
    if (size != sizeof kind)
        return false;
    std::memcpy(&kind, message, sizeof kind);
    if (kind != kHandOverRequest)
        return false;
    static const QImage decoded = photo();
    orlix::PixelLayout layout;
    const UniqueFd pixels = orlix::PixelGiver::giveCopy(decoded, layout);
    channel.send(&layout, sizeof layout, {pixels.get()});
    return true;
}

QImage askForPhoto(DecoderProcess& process) {
    process.channel().send(&kHandOverRequest, sizeof kHandOverRequest);
    orlix::PixelLayout layout;
    std::size_t size = 0;
    std::vector<UniqueFd> descriptors;
    if (process.channel().receive(&layout, sizeof layout, size, descriptors) !=
            MessageChannel::Status::Received ||
        descriptors.size() != 1)
        return QImage();
    return orlix::PixelReceiver::mapGiven(std::move(descriptors.front()), layout);
}

// The smallest request a decoder process answers: a two-pixel bitmap.
class TinyPicture {
public:
    TinyPicture() {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "bmp").write(QImage(2, 1, QImage::Format_RGB32));
        path_ = folder_.filePath(QStringLiteral("tiny.bmp"));
        QFile file(path_);
        file.open(QIODevice::WriteOnly);
        file.write(buffer.data());
    }
    orlix::DecodeRequest request() const {
        orlix::platform::FileError error = orlix::platform::FileError::None;
        return {orlix::platform::PictureFile::open(path_, error), {}};
    }

private:
    QTemporaryDir folder_;
    QString path_;
};

void BM_DecoderProcessStart(benchmark::State& state) {
    const TinyPicture picture;
    const std::atomic<bool> cancelled{false};
    double total = 0, floor = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        ::waitpid(child, nullptr, 0);
        floor += secondsSince(start);

        // A new decoder for each round: its first decode starts a process.
        orlix::ProcessDecoder decoder;
        start = Clock::now();
        const bool decoded = decoder.decode(picture.request(), cancelled).ok();
        const double seconds = secondsSince(start);
        total += seconds;
        state.SetIterationTime(seconds);
        if (!decoded)
            state.SkipWithError("the decoder process did not answer");
    }
    state.counters["start_ms"] = total * 1000 / double(state.iterations());
    state.counters["fork_wait_ms"] = floor * 1000 / double(state.iterations());
    state.counters["ratio"] = total / floor;
}
BENCHMARK(BM_DecoderProcessStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_HandOverOfA6000x4000Photo(benchmark::State& state) {
    const auto process = DecoderProcess::start();
    if (!process || askForPhoto(*process).isNull()) { // the photo is made in there once
        state.SkipWithError("no decoder process");
        return;
    }
    const QImage source = photo();
    const auto bytes = static_cast<std::size_t>(source.sizeInBytes());
    double total = 0, floor = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        {
            const std::unique_ptr<char[]> copy(new char[bytes]);
            std::memcpy(copy.get(), source.constBits(), bytes);
            benchmark::DoNotOptimize(copy.get());
        }
        floor += secondsSince(start);

        start = Clock::now();
        const QImage image = askForPhoto(*process);
        const double seconds = secondsSince(start);
        total += seconds;
        state.SetIterationTime(seconds);
        if (image.size() != QSize(kWidth, kHeight))
            state.SkipWithError("no photo came back");
    }
    state.counters["hand_over_ms"] = total * 1000 / double(state.iterations());
    state.counters["memcpy_ms"] = floor * 1000 / double(state.iterations());
    state.counters["ratio"] = total / floor;
}
BENCHMARK(BM_HandOverOfA6000x4000Photo)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_DecodeOfA6000x4000Jpeg(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    QImageWriter(path, "jpeg").write(photo());
    orlix::platform::FileError error = orlix::platform::FileError::None;
    const orlix::DecodeRequest request{orlix::platform::PictureFile::open(path, error),
                                       QSize(int(state.range(0)), int(state.range(1)))};
    orlix::StandardPictureDecoder inProgram;
    orlix::ProcessDecoder inProcess;
    const std::atomic<bool> cancelled{false};
    inProcess.decode(request, cancelled); // the process is started outside the measurement
    double total = 0, floor = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        benchmark::DoNotOptimize(inProgram.decode(request, cancelled).image.constBits());
        floor += secondsSince(start);
        start = Clock::now();
        const bool decoded = inProcess.decode(request, cancelled).ok();
        const double seconds = secondsSince(start);
        total += seconds;
        state.SetIterationTime(seconds);
        if (!decoded)
            state.SkipWithError("the decoder process failed");
    }
    state.counters["process_ms"] = total * 1000 / double(state.iterations());
    state.counters["in_program_ms"] = floor * 1000 / double(state.iterations());
    state.counters["ratio"] = total / floor;
}
// Whole, fitted into a 3840 x 2160 screen (decoded at 5/8), and fitted into a 1920 x 1080 one
// (decoded at a quarter).
BENCHMARK(BM_DecodeOfA6000x4000Jpeg)
    ->Args({0, 0})
    ->Args({3840, 2160})
    ->Args({1920, 1080})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    // As the program does, before anything else: the forking process. Its decoder processes
    // also answer this benchmark's hand-over requests.
    orlix::platform::DecoderProgram program = orlix::decoderProgram();
    program.serve = [](MessageChannel& channel) {
        orlix::DecoderService service(channel);
        orlix::DecoderService::Message message;
        while (service.receive(message)) {
            if (!handOver(channel, message.bytes.data(), message.size) && !service.answer(message))
                return;
        }
    };
    orlix::platform::startDecoderZygote(program);
    // Everything here runs where the program runs it: on its decoding thread, which gives way
    // to the windows, as the decoder processes do.
    orlix::platform::lowerCurrentThreadPriority();
    return orlix::bench::runBenchmarks(argc, argv);
}
