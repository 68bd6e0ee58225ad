#include "cardgen/catalogue.h"

#include "common/errors.h"
#include "common/files.h"

#include <QFile>

namespace marigal {

int DesignResourceId(int designIndex)
{
    static constexpr int kIds[kDesignCount] = {105, 101, 103, 104, 102, 106};
    if (designIndex < 0 || designIndex >= kDesignCount) throw AppError(apperr::kSubscriptOutOfRange);
    return kIds[designIndex];
}

QString DesignCaption(int designIndex)
{
    static const QString kCaptions[kDesignCount] = {
        QStringLiteral("Photo Greeting Card"), QStringLiteral("Clouds"),  QStringLiteral("Hearts"),
        QStringLiteral("Meadow"),              QStringLiteral("Flowers"), QStringLiteral(" Yellow Flower"),
    };
    if (designIndex < 0 || designIndex >= kDesignCount) throw AppError(apperr::kSubscriptOutOfRange);
    return kCaptions[designIndex];
}

double MessageFloor(int designIndex)
{
    // Type still easy to read on a card held in the hand; the wide places
    // of the first two designs hold a long message well above it.
    static constexpr double kFloors[kDesignCount] = {9, 9, 8, 8, 8, 8};
    if (designIndex < 0 || designIndex >= kDesignCount) throw AppError(apperr::kSubscriptOutOfRange);
    return kFloors[designIndex];
}

QString WordArtFace(int designIndex)
{
    return designIndex == 3 ? kDisplayFace : designIndex == 4 ? kScriptFace : QString();
}

bool WordArtBold(int designIndex)
{
    return designIndex == 4;
}

int DesignNamed(const QString& name)
{
    const QString wanted = name.trimmed();
    bool number = false;
    const int index = wanted.toInt(&number);
    if (number) return index >= 0 && index < kDesignCount ? index : -1;
    for (int i = 0; i < kDesignCount; ++i)
        if (DesignCaption(i).trimmed().compare(wanted, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

namespace {
QString& DesignFolderSet()
{
    static QString folder;
    return folder;
}
}  // namespace

QString DesignFolder()
{
    const QString& set = DesignFolderSet();
    return set.isEmpty() ? JoinPath(ApplicationFolder(), QStringLiteral("designs")) : set;
}

void SetDesignFolder(const QString& folder)
{
    DesignFolderSet() = folder;
}

QByteArray LoadResData(int id, const QString& type)
{
    if (type != kDesignResourceType) throw AppError(apperr::noSuchResource(id));
    QFile resource(JoinPath(DesignFolder(), QStringLiteral("design%1.dot").arg(id)));
    if (!resource.open(QIODevice::ReadOnly)) throw AppError(apperr::noSuchResource(id));
    QByteArray bytes = resource.readAll();
    if (resource.error() != QFileDevice::NoError) throw AppError(apperr::noSuchResource(id));
    return bytes;
}

QString TemplatePath()
{
    return WorkPath(QStringLiteral("template.dot"));
}

engine::Object OpenTemplate(const engine::Object& word, const QString& path)
{
    using engine::Arg;
    using engine::Value;
    return engine::Object(word.obj(u"Documents")
                              .call(u"Open", {Value::stringRef(path), Arg(u"ReadOnly", Value::boolean(true))})
                              .toDispatch());
}

}  // namespace marigal
