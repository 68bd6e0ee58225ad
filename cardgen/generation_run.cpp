#include "cardgen/generation_run.h"

#include "cardgen/card_photo.h"
#include "cardgen/catalogue.h"
#include "cardgen/composition.h"
#include "cardgen/page_export.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/steps.h"
#include "photo/picture.h"

#include <QRandomGenerator>

#include <future>
#include <random>

namespace marigal {

using engine::Object;

QString CardFileName(const std::function<int()>& digit)
{
    QString name = QStringLiteral("tamlor");
    for (int i = 0; i < 8; ++i) name += QString::number(digit());
    return name + QStringLiteral(".doc");
}

QString MessageTooLongText(int design)
{
    return QStringLiteral("The message is too long for the design \"%1\": the card shows only as much of it as fits. "
                          "Shorten the message, or choose another design.")
        .arg(DesignCaption(design).trimmed());
}

int RandomDigit()
{
    // Seeded once: re-seeding from a coarse clock before each digit would
    // give the same digit eight times.
    static std::mt19937 generator(QRandomGenerator::system()->generate());
    return std::uniform_int_distribution<int>(1, 9)(generator);
}

namespace {

// A photo being made ready for a design on a thread of its own. Whatever
// it made and nobody took is removed with it.
class PhotoOnItsWay {
public:
    PhotoOnItsWay(const QString& path, int design, PhotoFit fit) : path_(path), design_(design), fit_(fit)
    {
        if (!FileExists(path)) return;
        QString folder;
        try {
            folder = RunFolder();
        } catch (const AppError&) {
            return;  // said again, and at its step, when the photo is wanted
        }
        made_ = std::async(std::launch::async,
                           [path, folder, design, fit] { return PrepareCardPhoto(path, folder, design, fit); });
    }
    ~PhotoOnItsWay()
    {
        if (!made_.valid()) return;
        try {
            for (const PreparedPhoto& copy : made_.get()) RemoveFile(copy.path);
        } catch (...) {
        }
    }
    PhotoOnItsWay(const PhotoOnItsWay&) = delete;
    PhotoOnItsWay& operator=(const PhotoOnItsWay&) = delete;

    // What was made for `path` and `design`, or the error it met; made now
    // when nothing, or another photo or design, is on its way.
    std::vector<PreparedPhoto> take(const QString& path, int design)
    {
        if (made_.valid() && path == path_ && design == design_) return made_.get();
        return PrepareCardPhoto(path, RunFolder(), design, fit_);
    }

private:
    QString path_;
    int design_;
    PhotoFit fit_;
    std::future<std::vector<PreparedPhoto>> made_;
};

}  // namespace

void GenerationRun::PushButton6_Click(bool& busy)
{
    if (busy) return;  // 100: a click while a run is in progress changes nothing
    Steps s(modal_, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    s(102, [&] { busy = true; });
    s(104, [&] { window_.SetPointer(MousePointer::Hourglass); });
    // The photo is read and made ready for the design's places while the
    // office starts and opens the design; step 148 takes what it made.
    PhotoOnItsWay early(window_.PhotoPath(), window_.DesignIndex(), window_.Fit());
    Object word, doc;
    s(106, [&] { word = backend_.create(engine::kWordProgId); });
    int design = 0;
    s(108, [&] { design = window_.DesignIndex(); });

    bool proceed = false;
    s(114, [&] { proceed = design != 0 || FileExists(window_.PhotoPath()); });
    if (!proceed) {
        // Design 0 needs a photo.
        s(330, [&] { window_.SetPointer(MousePointer::Default); });
        s(332, [&] { modal_.message(QStringLiteral("No file."), appTitle_, MsgButtons::Ok, MsgIcon::None); });
        s(332, [&] {
            // Nothing else ends the instance started at 106; it must not be left running.
            if (word) word.call(u"Quit");
            word.release();
        });
        window_.DrainInput();
        s(334, [&] { busy = false; });
        return;
    }

    QByteArray bytes;
    s(118 + 4 * design, [&] { bytes = LoadResData(DesignResourceId(design), kDesignResourceType); });
    // The chosen design, always: whatever another run left or someone put there is replaced.
    s(140, [&] { WriteBytesToFile(bytes, TemplatePath()); });
    QString templatePath;
    s(142, [&] { templatePath = TemplatePath(); });
    s(144, [&] { doc = OpenTemplate(word, templatePath); });
    QString message;
    s(146, [&] { message = window_.Message(); });

    // The photo as the word processor takes it: a copy for each of the
    // design's places, cut to it, upright, in the run's folder.
    std::vector<PreparedPhoto> photos;
    bool refused = false;
    s(148, [&] {
        const QString now = window_.PhotoPath();
        if (!FileExists(now)) return;
        try {
            photos = early.take(now, design);
        } catch (...) {
            // A photo that cannot be used makes no card, rather than one without it.
            refused = true;
            throw;
        }
    });
    const auto photo = [&](int place) { return place < int(photos.size()) ? photos[size_t(place)].path : QString(); };

    QString card;
    bool tooLong = false;
    if (!refused) {
        Composer composer(word, s, photo);
        if (!photos.empty()) composer.PhotoPhase(design);
        composer.MessagePhase(design, message);
        tooLong = !composer.FitMessage(design, PhotoShortfall(design, photos));

        for (;;) {
            QString name;
            s(286, [&] { name = CardFileName(digit_); });
            s(298, [&] { card = WorkPath(name); });
            bool taken = false;
            s(300, [&] { taken = FileExists(card); });
            if (!taken) break;
        }
        s(302, [&] { doc.call(u"SaveAs", {engine::Value::stringRef(card)}); });
    }
    s(304, [&] { word.put(u"DisplayAlerts", engine::Value::boolean(false)); });
    s(306, [&] { doc.call(u"Close"); });
    s(308, [&] { word.call(u"Quit"); });
    s(310, [&] { doc.release(); });
    s(312, [&] { word.release(); });

    // A card that was never written is no card: no picture, no preview.
    const bool made = !card.isEmpty() && FileExists(card);
    if (made) s(314, [&] { window_.SaveDocAsJPG(card); });
    s(316, [&] { window_.SetPointer(MousePointer::Default); });
    if (made && tooLong) {
        // Said before the card shows, and the card still shows: the user sees what was cut.
        s(316, [&] { modal_.message(MessageTooLongText(design), appTitle_, MsgButtons::Ok, MsgIcon::None); });
    }
    if (made && !photos.empty() && LowestPpi(photos) < kSharpPpi) {
        s(316, [&] { modal_.message(SmallPhotoText(LowestPpi(photos)), appTitle_, MsgButtons::Ok, MsgIcon::None); });
    }
    if (made) {
        s(318, [&] {
            QImage page;
            try {
                page = LoadPicture(PagePicturePath());
            } catch (...) {
                // The preview shows no picture rather than an earlier card's.
                preview_.SetPicture(QImage());
                throw;
            }
            preview_.SetPicture(page);
        });
        s(320, [&] { preview_.SetWordFile(card); });
        s(322, [&] { preview_.Show(); });
        s(324, [&] { window_.Hide(); });
    }
    s(326, [&] { RemoveFile(PagePicturePath()); });
    s(328, [&] {
        RemoveFile(TemplatePath());
        for (const PreparedPhoto& copy : photos) RemoveFile(copy.path);
    });
    window_.DrainInput();
    s(334, [&] { busy = false; });
}

}  // namespace marigal
