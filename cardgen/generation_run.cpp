#include "cardgen/generation_run.h"

#include "cardgen/catalogue.h"
#include "cardgen/composition.h"
#include "cardgen/page_export.h"
#include "cardgen/photo_prep.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/picture.h"
#include "common/steps.h"

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

// A photo being made ready on a thread of its own. Whatever it made and
// nobody took is removed with it.
class PhotoOnItsWay {
public:
    explicit PhotoOnItsWay(const QString& path) : path_(path)
    {
        if (!FileExists(path)) return;
        QString folder;
        try {
            folder = RunFolder();
        } catch (const AppError&) {
            return;  // said again, and at its step, when the photo is wanted
        }
        made_ = std::async(std::launch::async, [path, folder] { return PreparePhoto(path, folder); });
    }
    ~PhotoOnItsWay()
    {
        if (!made_.valid()) return;
        try {
            const QString file = made_.get();
            if (file != path_) RemoveFile(file);
        } catch (...) {
        }
    }
    PhotoOnItsWay(const PhotoOnItsWay&) = delete;
    PhotoOnItsWay& operator=(const PhotoOnItsWay&) = delete;

    // What was made, or the error it met; made now when nothing is on its way.
    QString take() { return made_.valid() ? made_.get() : PreparePhoto(path_, RunFolder()); }

private:
    QString path_;
    std::future<QString> made_;
};

}  // namespace

void GenerationRun::PushButton6_Click(bool& busy)
{
    if (busy) return;  // 100: a click while a run is in progress changes nothing
    Steps s(modal_, QStringLiteral("Form1"), QStringLiteral("PushButton6_Click"));
    s(102, [&] { busy = true; });
    s(104, [&] { window_.SetPointer(MousePointer::Hourglass); });
    // The photo is read, and converted where it must be, while the office
    // starts and opens the design; step 148 takes what it made.
    const QString chosen = window_.PhotoPath();
    PhotoOnItsWay early(chosen);
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

    // The photo as the word processor takes it: the user's file, or an
    // upright or converted copy of it in the run's folder.
    QString photo;
    bool refused = false;
    s(148, [&] {
        const QString now = window_.PhotoPath();
        if (!FileExists(now)) return;
        try {
            photo = now == chosen ? early.take() : PreparePhoto(now, RunFolder());
        } catch (...) {
            // A photo that cannot be used makes no card, rather than one without it.
            refused = true;
            throw;
        }
    });
    const bool converted = !photo.isEmpty() && photo != window_.PhotoPath();

    QString card;
    bool tooLong = false;
    if (!refused) {
        Composer composer(word, s, [&] { return photo; });
        if (!photo.isEmpty()) composer.PhotoPhase(design);
        composer.MessagePhase(design, message);
        tooLong = !composer.FitMessage(design);

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
        if (converted) RemoveFile(photo);
    });
    window_.DrainInput();
    s(334, [&] { busy = false; });
}

}  // namespace marigal
