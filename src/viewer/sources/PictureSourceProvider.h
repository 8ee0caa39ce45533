#pragma once

#include "viewer/sources/PictureSource.h"
#include "viewer/steps/PictureProvider.h"

#include <utility>

namespace orlix {

// The decoding thread's PictureSource, as the slide steps ask for pictures.
class PictureSourceProvider : public PictureProvider {
public:
    explicit PictureSourceProvider(PictureSource& source) : source_(source) {}

    void fetch(const QString& path, const SizeRequest& request, Done done) override {
        source_.fetch(path, request, std::move(done));
    }
    void refine(const PicturePtr& shown, const SizeRequest& request, Done done) override {
        source_.refine(shown, request, std::move(done));
    }
    void prepare(const QString& nextPath, const SizeRequest& request, const PicturePtr& shown,
                 FullResolution shownWhole) override {
        source_.prepare(nextPath, request, shown, shownWhole);
    }
    void retire(PicturePtr picture) override { source_.retire(std::move(picture)); }
    void cancelAll() override { source_.cancelAll(); }

private:
    PictureSource& source_;
};

} // namespace orlix
