// The slide steps on the window-free machine: their rules, and held ticks and keys against the
// single-threaded program in ten thousand random shows; what both runs of a show are made of.

#include "viewer/StepRuns.h"

#include "viewer/steps/KeyCodes.h"
#include "viewer/steps/PictureProvider.h"
#include "viewer/steps/StepHost.h"

#include <QImage>
#include <QStringList>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <utility>

namespace orlix::test {

namespace {

using namespace keycode; // the keys of the scenarios
using Kind = HeldEvent::Kind;

// Lists as ScanFolder does: the folders of the root (attrMask kDirectoriesMask) or the
// pictures of a folder; false, and the entries left alone, for what cannot be listed.
ListFunction lister(const FakeTree& tree) {
    return [&tree](const FolderLister::Request& request, EntryList& entries) {
        const QString& path = request.folder.Path;
        const bool ofFolders = path == tree.root && request.attrMask == kDirectoriesMask;
        bool exists = path == tree.root;
        EntryList found;
        for (const FakeTree::Picture& p : tree.pictures) {
            const bool folder = p.path.endsWith('/');
            const QString at = tree.root + '/' + p.path.chopped(folder ? 1 : 0);
            exists = exists || (folder && at == path);
            if (ofFolders ? folder : !folder && at.section('/', 0, -2) == path)
                found.push_back({at, folder ? kDirectoryBit : std::int16_t(32)});
        }
        if (!exists || (request.folder.Attributes & kDirectoryBit) == 0)
            return false;
        entries = found;
        return !entries.empty();
    };
}

// Makes the picture at a path as a decoder does, one grey pixel of the picture's size: what
// the machine lays out is the size.
DecodeFunction decoder(const FakeTree& tree) {
    return [&tree](const QString& path, const SizeRequest& request) {
        auto picture = std::make_shared<DecodedPicture>();
        picture->path = path;
        picture->request = request;
        picture->error = LoadError::FileNotFound;
        for (const FakeTree::Picture& p : tree.pictures) {
            if (path == tree.root + '/' + p.path)
                picture->error = p.error, picture->pixelSize = p.size;
        }
        if (picture->error == LoadError::None) {
            picture->image = QImage(1, 1, QImage::Format_RGB32);
            picture->image.fill(Qt::gray);
        }
        return picture;
    };
}

// The machine on a 1024 x 768 screen and what it talks to: a window that records what it
// shows, with its slide timer as Qt keeps one (every start, stop or restart begins a new run),
// and listings and pictures made by `list` and `decode` and answered when `answer` says: now,
// later, or never once they are cancelled. A redraw is answered with the picture shown.
class MachineShow : public StepHost,
                    public FolderLister,
                    public PictureProvider,
                    public ShowRecord {
public:
    using Answer = std::function<void(const Asked&, std::function<void()> answer)>;

    MachineShow(ListFunction list, DecodeFunction decode, Answer answer,
                int guideHeightTwips = 17 * 15)
        : list_(std::move(list)), decode_(std::move(decode)), answer_(std::move(answer)),
          guideHeight_(guideHeightTwips),
          machine(*this, *this, *this, Settings, this, {1024 * 15, 768 * 15, 1.0}) {}

    // A tick comes only while the slide timer runs, as Qt's would.
    void deliver(const HeldEvent& event) {
        if (event.kind == Kind::Tick && timerRunning)
            machine.tick();
        else if (event.kind == Kind::KeyDown)
            machine.keyDown(event.code, event.shift);
        else if (event.kind == Kind::KeyUp)
            machine.keyUp(event.code, event.shift);
    }
    Observed observed() const { return observe(*this, &machine, timerRunning); }

    void startSlideTimer(int) override { timerRunning = true, ++timerRun; }
    void stopSlideTimer() override { timerRunning = false, ++timerRun; }
    void setSlideInterval(int) override { timerRun += timerRunning ? 1 : 0; }
    void loaded(bool) override {}
    void markGuide(GuideLabel) override {}
    void paintGuide() override {}
    void setPaused(bool) override {}
    void showGuide(bool) override {}
    void setCaption(const QString& caption) override { captions << caption; }
    int guideHeightTwips() const override { return guideHeight_; }
    QByteArray displayProfile() const override { return QByteArray(); }
    void hidePicture() override {}
    void showPicture(const DecodedPicture&, const PicturePlacement&, const FrameParams&) override {}
    void forgetFrames() override {}
    void warn(const QString& text) override { boxes << text; }
    void hideViewer() override { stopSlideTimer(); }
    void closeViewer() override { stopSlideTimer(); }
    void list(const Request& request, EntryList entries, FolderLister::Done done) override {
        const bool found = list_(request, entries);
        ask({true, request.withProgress, request.folder.Path}, listings_,
            [found, entries = std::move(entries), done = std::move(done)]() mutable {
                done(found, std::move(entries));
            });
    }
    void closeProgress() override {}
    void cancel() override { ++listings_; }
    void fetch(const QString& path, const SizeRequest& request,
               PictureProvider::Done done) override {
        ask({false, false, path}, pictures_,
            [picture = decode_(path, request), done = std::move(done)] { done(picture); });
    }
    void refine(const PicturePtr& shown, const SizeRequest&, PictureProvider::Done done) override {
        ask({false, false, shown ? shown->path : QString()}, pictures_,
            [shown, done = std::move(done)] { done(shown); });
    }
    void prepare(const QString&, const SizeRequest&, const PicturePtr&, FullResolution) override {}
    void retire(PicturePtr) override {}
    void cancelAll() override { ++pictures_; }

private:
    // An answer of an older generation than the one now is dropped: it was cancelled.
    void ask(const Asked& asked, const int& generation, std::function<void()> answer) {
        answer_(asked, [&generation, was = generation, answer = std::move(answer)] {
            if (was == generation)
                answer();
        });
    }

    const ListFunction list_;
    const DecodeFunction decode_;
    const Answer answer_;
    const int guideHeight_;
    int listings_ = 0;
    int pictures_ = 0;

public:
    bool timerRunning = false;
    std::uint32_t timerRun = 0;
    SlideStepMachine machine;
};

// Names the waits of each step.
struct WaitNames {
    QString next(int step, bool listing) {
        return waitName(step, listing, ++counts[{step, listing}]);
    }
    std::map<std::pair<int, bool>, int> counts;
};

// The single-threaded program: everything is answered at once, after the events of the held
// run's wait of the same name have joined the event queue.
class ReferenceRun {
public:
    ReferenceRun(const Scenario& scenario, const HeldRun& held, ListFunction list,
                 DecodeFunction decode, int guideHeightTwips)
        : events_(scenario.events), arrivals_(held.arrivals),
          show(
              std::move(list), std::move(decode),
              [this](const Asked& asked, std::function<void()> answer) {
                  const QString wait = waits_.next(show.machine.stepsRun() + 1, asked.listing);
                  while (next_ < arrivals_.size() && arrivals_[next_] == wait)
                      arrive(events_[next_++], asked.withProgress);
                  answer();
              },
              guideHeightTwips) {}

    Observed run() {
        show.machine.load();
        show.deliver(tick()); // the first tick comes as soon as the viewer is shown
        while (true) {
            while (!queue_.empty()) {
                const HeldEvent event = queue_.front();
                queue_.pop_front();
                if (event.kind != Kind::Tick || show.timerRun == event.timerRun)
                    show.deliver(event);
            }
            if (next_ >= arrivals_.size())
                return show.observed();
            diverged = diverged || !arrivals_[next_].isEmpty();
            show.deliver(events_[next_++]);
        }
    }

    bool diverged = false; // an event came during a wait the reference never made

private:
    void arrive(HeldEvent event, bool progressWindow) {
        if (event.kind != Kind::Tick) {
            if (!progressWindow || (event.kind == Kind::KeyDown && event.code == kEsc))
                queue_.push_back(event);
            return;
        }
        // A timer that is not running does not fire; one that fires while the program is busy
        // fires once afterwards.
        event.timerRun = show.timerRun;
        if (!progressWindow && show.timerRunning &&
            std::find(queue_.begin(), queue_.end(), event) == queue_.end())
            queue_.push_back(event);
    }

    const std::vector<HeldEvent>& events_;
    const std::vector<QString>& arrivals_;
    std::size_t next_ = 0;
    std::deque<HeldEvent> queue_;
    WaitNames waits_;
    MachineShow show;
};

// The held run on the machine: a listing or picture the scenario holds is kept until the
// events of its wait have come. Nothing comes during the start-up's listings: the viewer is
// not shown yet.
class MachineHeldRun : public HeldRun {
public:
    explicit MachineHeldRun(const Scenario& scenario)
        : HeldRun(scenario),
          show(lister(scenario.tree), decoder(scenario.tree),
               [this](const Asked& asked, std::function<void()> answer) {
                   const QString name = waits_.next(show.machine.stepsRun() + 1, asked.listing);
                   if (loading || scenario_.holdFor(asked) < 0)
                       return answer();
                   pending_ = std::move(answer);
                   wait_ = {name, asked};
               }) {}

    Observed run() {
        show.machine.load();
        loading = false;
        show.deliver(tick());
        drive();
        return show.observed();
    }

protected:
    std::optional<Wait> waiting() const override {
        return pending_ ? std::optional<Wait>(wait_) : std::nullopt;
    }
    void endWait() override { std::exchange(pending_, nullptr)(); }
    void feed(const HeldEvent& event) override { show.deliver(event); }
    bool closed() const override { return show.machine.closed(); }

private:
    bool loading = true;
    std::function<void()> pending_; // one wait at a time
    Wait wait_;
    WaitNames waits_;
    MachineShow show;
};

// What two runs must agree on, as text: with `all`, everything observed, else the switches,
// the check boxes and whether the viewer has closed.
std::string agreed(const Observed& o, bool all) {
    QString text = QString("RealSize %1 Guide %2 closed %3 checks: ")
                       .arg(o.realSize)
                       .arg(o.guide)
                       .arg(o.closed) +
                   o.checks.join(", ");
    if (all)
        text += QString("\nat %1, key %2, running %3, offset %4 %5\ncaptions: ")
                    .arg(o.picture)
                    .arg(o.lastKey)
                    .arg(o.running)
                    .arg(o.offset.x())
                    .arg(o.offset.y()) +
                o.captions.join(" | ") + "\nboxes: " + o.boxes.join(" | ");
    return text.toStdString() + '\n';
}

bool beginsWith(const QStringList& whole, const QStringList& part) {
    return whole.mid(0, part.size()) == part;
}

// Each row starts a show (with sub-folders, at b/1.bmp; without, at top.bmp), changes the
// tree as it says, then takes its steps: t a tick, R L U D the arrow keys, E Esc.
TEST(SteppingRules, WrapsThroughFilesAndFoldersListingEachAfresh) {
    FakeTree base; // top.bmp is not shown with sub-folders
    base.pictures = {{"top.bmp"}, {"a-empty/"}, {"b/"},      {"b/1.bmp"},
                     {"b/2.gif"}, {"c/"},       {"c/1.jpg"}, {"c/2.bmp"}};
    const std::int16_t keys[] = {kRight, kLeft, kUp, kDown, kEsc};
    const auto none = [](FakeTree&) {};
    // Takes the pictures out of the folders whose paths contain `folder`: "c/", or "/" for all.
    const auto emptied = [](const char* folder) {
        return [folder](FakeTree& t) {
            const auto in = [&](const FakeTree::Picture& p) {
                return p.path.contains(folder) && !p.path.endsWith('/');
            };
            t.pictures.erase(std::remove_if(t.pictures.begin(), t.pictures.end(), in),
                             t.pictures.end());
        };
    };
    const struct {
        std::int16_t subFolder, loop, autoNext;
        std::function<void(FakeTree&)> change;
        const char* steps;
        std::vector<const char*> shown; // "": the viewer has closed
    } cases[] = {
        {1, 0, 1, none, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", ""}},
        {1, 1, 1, none, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", "b/1.bmp"}},
        {1, 1, 0, none, "tt", {"b/2.gif", "b/1.bmp"}},
        {1, 1, 1, none, "Lt", {"b/2.gif", "b/1.bmp"}}, // the show now runs backwards
        {1, 0, 0, none, "RUD", {"b/2.gif", "c/1.jpg", ""}},
        {1, 1, 0, none, "DDE", {"c/1.jpg", "b/1.bmp", ""}},
        {1, 0, 0, none, "UU", {"c/1.jpg", "b/1.bmp"}}, // backwards wraps whatever Loop says
        // A search ends after one pass: round to the one folder with pictures, or closed.
        {1, 1, 1, emptied("c/"), "DD", {"b/1.bmp", "b/1.bmp"}},
        {1, 1, 1, emptied("/"), "D", {""}},
        // A single folder is read again on its wrap.
        {0,
         1,
         1,
         [](FakeTree& t) { t.pictures.insert(t.pictures.begin(), {"0.bmp"}); },
         "t",
         {"0.bmp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.steps << " loop " << c.loop << " auto " << c.autoNext);
        FakeTree tree = base;
        Settings = SettingsRecord();
        Settings.SubFolder = c.subFolder;
        Settings.Loop = c.loop;
        Settings.Auto = c.autoNext;
        Settings.Path = tree.root;
        MachineShow show(lister(tree), decoder(tree),
                         [](const Asked&, std::function<void()> answer) { answer(); });
        const auto shown = [&] { // relative to the root
            const Observed now = show.observed();
            return now.closed ? QString() : now.picture.mid(tree.root.size() + 1);
        };
        show.machine.load();
        show.machine.tick();
        ASSERT_EQ(shown(), c.subFolder == 1 ? "b/1.bmp" : "top.bmp");
        c.change(tree);
        for (std::size_t i = 0; i < c.shown.size(); ++i) {
            if (c.steps[i] == 't')
                show.machine.tick();
            else
                show.machine.keyDown(keys[QByteArray("RLUDE").indexOf(c.steps[i])], 0);
            EXPECT_EQ(shown(), QString::fromUtf8(c.shown[i])) << i;
        }
    }
}

// A few folders of pictures of assorted sizes, some failing, random switches, a dozen or so
// ticks and keys, and random waits.
Scenario randomScenario(std::mt19937& random) {
    const auto chance = [&](int percent) { return int(random() % 100) < percent; };
    const auto pick = [&](int count) { return int(random() % unsigned(count)); };
    Scenario s;
    // Small, the size of the screen, larger than it (it pans), and taller than it.
    const QSize sizes[] = {{40, 30}, {1024, 768}, {1200, 900}, {400, 900}};
    const LoadError failures[] = {LoadError::PathInvalid, LoadError::InvalidPicture};
    const auto pictures = [&](int count, const QString& folder) {
        std::vector<FakeTree::Picture> list;
        for (int i = 0; i < count; ++i) {
            list.push_back({folder + QString::number(i) + QStringLiteral(".jpg"), sizes[pick(4)]});
            if (chance(12))
                list.back().error = failures[pick(2)];
        }
        return list;
    };
    s.settings.SubFolder = chance(50) ? 1 : 0;
    s.settings.Sort = chance(30) ? 1 : 0;
    for (std::int16_t* on :
         {&s.settings.Loop, &s.settings.Auto, &s.settings.RealSize, &s.settings.Guide})
        *on = chance(50) ? 1 : 0;
    if (s.settings.SubFolder == 1) {
        s.tree.pictures = pictures(pick(2), "");
        const int folders = 1 + pick(3);
        for (int f = 0; f < folders; ++f) {
            const QString folder = QStringLiteral("f%1/").arg(f);
            s.tree.pictures.push_back({folder});
            for (const FakeTree::Picture& p : pictures(pick(4), folder))
                s.tree.pictures.push_back(p);
        }
        s.tree.pictures.push_back({QStringLiteral("f%1/z.jpg").arg(pick(folders))});
    } else {
        s.tree.pictures = pictures(1 + pick(5), "");
    }
    const std::int16_t keys[] = {kEnter, kUp, kDown, kLeft, kRight, kHome, kCtrl, kEsc, 65};
    std::discrete_distribution<std::size_t> keyWeights({12, 12, 12, 14, 16, 10, 10, 2, 4});
    const auto randomKey = [&] { return keys[keyWeights(random)]; }; // Esc rare: it ends the run
    for (int i = 0, count = 6 + pick(12); i < count; ++i) {
        const int roll = pick(100);
        if (roll < 35)
            s.events.push_back(tick());
        else if (roll < 88)
            s.events.push_back(down(randomKey(), chance(25) ? kShiftBit : 0));
        else
            s.events.push_back({Kind::KeyUp, randomKey(), 0});
    }
    s.holdFor = [hold = std::make_shared<std::mt19937>(random())](const Asked&) {
        const int roll = int((*hold)() % 10);
        return roll < 3 ? -1 : roll % 4;
    };
    return s;
}

// Each random show runs twice on the machine with the fake tree, once with listings and
// pictures at hand and once with them held back while events come. Set ORLIX_STEP_SEQUENCES
// for a longer run.
TEST(StepEquivalence, RandomShowsRunAsTheSingleThreadedProgramWould) {
    runRandomShows("ORLIX_STEP_SEQUENCES", 10000, 7, 0.5,
                   [](const Scenario& s, std::mt19937&) { return runOnMachine(s); });
}

} // namespace

Observed observe(const ShowRecord& record, const SlideStepMachine* machine, bool timerRunning) {
    Observed observed;
    static_cast<ShowRecord&>(observed) = record;
    observed.running = timerRunning;
    observed.realSize = Settings.RealSize;
    observed.guide = Settings.Guide;
    observed.closed = !machine || machine->closed();
    if (observed.closed)
        return observed;
    const ViewerState& s = machine->state();
    if (s.fileIndex >= 0 && s.fileIndex < static_cast<int>(s.fileList.size()))
        observed.picture = s.fileList[std::size_t(s.fileIndex)].Path;
    observed.lastKey = s.lastKey;
    observed.offset = {s.offsetX, s.offsetY};
    return observed;
}

void Scenario::start(const QString& root) const {
    Settings = settings;
    Settings.Path = root;
    Settings.ExtList = QStringLiteral("bmp|jpg|gif");
    Settings.Interval = 60; // no tick of its own on the window while the run lasts
}

QString waitName(int step, bool listing, int ordinal) {
    return QString("step %1 %2 %3").arg(step).arg(listing ? "listing" : "picture").arg(ordinal);
}

RunPair compareRuns(const Scenario& scenario, const HeldRun& held, Observed concurrent,
                    ListFunction list, DecodeFunction decode, int guideHeightTwips) {
    ReferenceRun reference(scenario, held, std::move(list), std::move(decode), guideHeightTwips);
    RunPair pair{reference.run(), std::move(concurrent), {}};
    const Observed& r = pair.reference;
    const Observed& c = pair.concurrent;
    const bool all = !held.escapedDuringWait;
    if (agreed(r, all) != agreed(c, all))
        pair.differences = "reference:\n" + agreed(r, all) + "held back:\n" + agreed(c, all);
    if (!all && !(beginsWith(r.captions, c.captions) && beginsWith(r.boxes, c.boxes)))
        pair.differences += "captions or boxes: not a beginning of the reference's\n";
    if (reference.diverged)
        pair.differences += "an event came during a wait never made\n";
    pair.waited = std::any_of(held.arrivals.begin(), held.arrivals.end(),
                              [](const QString& wait) { return !wait.isEmpty(); });
    return pair;
}

RunPair runOnMachine(const Scenario& scenario) {
    scenario.start(scenario.tree.root);
    MachineHeldRun held(scenario);
    const Observed concurrent = held.run();
    scenario.start(scenario.tree.root);
    return compareRuns(scenario, held, concurrent, lister(scenario.tree), decoder(scenario.tree),
                       17 * 15);
}

void runRandomShows(const char* variable, int byDefault, unsigned seed, double waitedShare,
                    const std::function<RunPair(const Scenario&, std::mt19937&)>& run) {
    bool set = false;
    const int count = qEnvironmentVariableIntValue(variable, &set);
    const int sequences = set ? count : byDefault;
    std::mt19937 seeds(seed);
    int waited = 0;
    for (int i = 0; i < sequences; ++i) {
        const unsigned showSeed = seeds();
        std::mt19937 random(showSeed);
        const RunPair pair = run(randomScenario(random), random);
        ASSERT_EQ(pair.differences, "") << "show " << i << ", seed " << showSeed;
        waited += pair.waited ? 1 : 0;
    }
    EXPECT_GT(waited, sequences * waitedShare);
}

} // namespace orlix::test
