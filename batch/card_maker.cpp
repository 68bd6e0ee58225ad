#include "batch/card_maker.h"

#include "cardgen/card_photo.h"
#include "cardgen/catalogue.h"
#include "cardgen/composition.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/modal.h"
#include "common/placed_files.h"
#include "common/steps.h"
#include "engine/engine_error.h"
#include "engine/libreoffice/lo_backend.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <utility>
#include <vector>

namespace marigal::batch {

namespace {

using engine::Arg;
using engine::Object;
using engine::Value;

// What the window would have shown: the card fails with the first.
class StrictModal : public Modal {
public:
    MsgResult message(const QString& text, const QString&, MsgButtons, MsgIcon) override
    {
        // An error box's first line is the error's own description.
        if (first.isEmpty()) first = text.section(QLatin1Char('\n'), 0, 0);
        return MsgResult::Ok;
    }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, int&) override { return {}; }

    QString first;
};

// A card whose office was lost, said as what was happening: the automation
// layer's words mean nothing to the command's user.
CardOutcome Failed(const QString& error)
{
    if (error == engine::Q(engine::errtext::kOutOfMemory))
        return {false, QStringLiteral("the office ran out of memory on this card"), true, {}, {}, false};
    if (error == engine::Q(engine::errtext::kServerGone) || error == engine::Q(engine::errtext::kServerHung))
        return {false, QStringLiteral("the office stopped while making this card"), true};
    return {false, error, false};
}

QString TooLongText(int design)
{
    return QStringLiteral("the message is too long for design %1").arg(DesignCaption(design).trimmed());
}

QByteArray ReadWhole(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw AppError(apperr::kFileNotFound);
    return f.readAll();
}

}  // namespace

CardMaker::CardMaker(Object word, QString workFolder) : word_(std::move(word)), work_(std::move(workFolder)) {}

QString CardMaker::templateFor(int design)
{
    const QString path = work_ + QStringLiteral("/design%1.dot").arg(design);
    if (!written_.contains(design)) {
        WriteBytesToFile(LoadResData(DesignResourceId(design), kDesignResourceType), path);
        written_.insert(design);
    }
    return path;
}

CardOutcome CardMaker::make(const CardOrder& card, bool force)
{
    if (!card.problem.isEmpty()) return {false, card.problem, false};
    // No design holds a message of this length even at its smallest type:
    // said now, not after the office has laid out megabytes of it.
    constexpr qsizetype kMostMessage = 5000;
    if (card.message.size() > kMostMessage) return {false, TooLongText(card.design), false};
    // As the window reads its inputs: a photo named but missing, and the
    // first design without one.
    if (!card.photo.isEmpty() && !FileExists(card.photo)) return {false, QStringLiteral("Photo file does not exist."), false};
    if (card.design == 0 && card.photo.isEmpty()) return {false, QStringLiteral("No file."), false};
    std::vector<QString> targets{card.output};
    if (!card.picture.isEmpty()) targets.push_back(card.picture);
    if (!card.pdf.isEmpty()) targets.push_back(card.pdf);
    for (const QString& target : targets) {
        try {
            RefuseTooLongName(target);
        } catch (const AppError& e) {
            return {false, e.description(), false};
        }
    }
    if (!force)
        for (const QString& target : targets)
            if (QFileInfo::exists(target)) return {false, QStringLiteral("%1: %2").arg(apperr::kFileAlreadyExists, target), false};

    // The photo as the word processor takes it: a copy for each of the
    // design's places, in this maker's folder.
    std::vector<PreparedPhoto> photos;
    struct Copies {
        const std::vector<PreparedPhoto>& photos;
        ~Copies()
        {
            for (const PreparedPhoto& copy : photos) RemoveFile(copy.path);
        }
    } copies{photos};
    if (!card.photo.isEmpty()) {
        // Checked again now, as the photo is about to be read.
        if (!card.photos.root.isEmpty() && !LiesInside(card.photo, card.photos.root))
            return {false, QStringLiteral("%1 is outside %2").arg(card.photo, card.photos.rootName), false};
        try {
            photos = PrepareCardPhoto(card.photo, work_, card.design, card.fit);
        } catch (const AppError& e) {
            return {false, e.description(), false};
        }
    }
    const auto photo = [&](int place) { return place < int(photos.size()) ? photos[size_t(place)].path : QString(); };

    StrictModal strict;
    Steps s(strict, QStringLiteral("Card"), QStringLiteral("Make"));
    const QString stem = work_ + QStringLiteral("/card%1").arg(made_++);
    const QString doc = stem + QStringLiteral(".doc"), pdf = stem + QStringLiteral(".pdf");
    const bool wantPdf = !card.pdf.isEmpty() || !card.picture.isEmpty() || !parts_.isEmpty();
    Object document;
    s(142, [&] { document = OpenTemplate(word_, templateFor(card.design)); });
    if (strict.first.isEmpty()) {
        Composer composer(word_, s, photo);
        if (!photos.empty()) composer.PhotoPhase(card.design);
        if (strict.first.isEmpty()) composer.MessagePhase(card.design, card.message);
        // Strict: a message cut short on the card fails it.
        if (strict.first.isEmpty() && !composer.FitMessage(card.design, PhotoShortfall(card.design, photos)) &&
            strict.first.isEmpty())
            strict.first = TooLongText(card.design);
    }
    if (strict.first.isEmpty()) s(302, [&] { document.call(u"SaveAs", {Value::stringRef(doc)}); });
    if (strict.first.isEmpty() && wantPdf)
        s(303, [&] { document.call(u"ExportAsFixedFormat", {Value::string(pdf), Value::int32(17)}); });
    if (document) {
        // Closed whatever became of it; a close that fails says nothing new.
        StrictModal quiet;
        Steps(quiet, QStringLiteral("Card"), QStringLiteral("Make"))(306, [&] { document.call(u"Close"); });
    }
    if (!strict.first.isEmpty()) {
        RemoveFile(doc);
        RemoveFile(pdf);
        return Failed(strict.first);
    }

    // Into place, all or none: every file written first beside its target,
    // then all put in place; a card that fails leaves what was there.
    StagedFiles staged(card.outputs);
    QString current;
    const auto stage = [&](const QByteArray& bytes, const QString& target) {
        current = target;
        staged.add(bytes, target, force);
    };
    try {
        stage(ReadWhole(doc), card.output);
        if (!card.pdf.isEmpty()) stage(ReadWhole(pdf), card.pdf);
        if (!card.picture.isEmpty()) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            if (!QImageWriter(&buffer, "png").write(engine::RenderPdf(pdf, card.dpi)))
                throw AppError(apperr::kInvalidPicture);
            stage(png, card.picture);
        }
        current.clear();
        staged.commit(force);
    } catch (const std::exception& e) {
        RemoveFile(doc);
        RemoveFile(pdf);
        const QString why = QString::fromUtf8(e.what());
        // The placing names its file; a picture that could not be drawn does not.
        return {false, current.isEmpty() || why.contains(current) ? why : QStringLiteral("%1: %2").arg(why, current), false};
    }
    RemoveFile(doc);
    QString part;
    if (!parts_.isEmpty()) {
        part = parts_ + QStringLiteral("/row-%1.pdf").arg(card.row);
        if (!QFile::rename(pdf, part)) part.clear();
    }
    RemoveFile(pdf);
    // Made, but the photo will print blurred: said, not failed.
    QString warning;
    if (!photos.empty() && LowestPpi(photos) < kSharpPpi)
        warning = QStringLiteral("%1: %2").arg(card.photo, SmallPhotoText(LowestPpi(photos)));
    return {true, QString(), false, part, warning};
}

}  // namespace marigal::batch
