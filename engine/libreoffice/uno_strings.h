#pragma once
// QString <-> OUString: both are UTF-16, so the conversion is a copy; and a
// local path as the office's file URL.

#include <QFileInfo>
#include <QString>

#include <osl/file.hxx>
#include <rtl/ustring.hxx>

#include <optional>

namespace marigal::engine::lo {

inline rtl::OUString toOUString(const QString& s)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(s.utf16()), static_cast<sal_Int32>(s.size()));
}

inline QString toQString(const rtl::OUString& s)
{
    return QString(reinterpret_cast<const QChar*>(s.getStr()), s.getLength());
}

// The file URL of a local path (made absolute): spaces, '#', '%' and
// non-ASCII names all survive. None for a path the office cannot name.
inline std::optional<rtl::OUString> toFileUrl(const QString& path)
{
    rtl::OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(toOUString(QFileInfo(path).absoluteFilePath()), url) !=
        osl::FileBase::E_None)
        return std::nullopt;
    return url;
}

}  // namespace marigal::engine::lo
