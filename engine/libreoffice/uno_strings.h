#pragma once
// QString <-> OUString: both are UTF-16, so the conversion is a copy.

#include <QString>

#include <rtl/ustring.hxx>

namespace marigal::engine::lo {

inline rtl::OUString toOUString(const QString& s)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(s.utf16()), static_cast<sal_Int32>(s.size()));
}

inline QString toQString(const rtl::OUString& s)
{
    return QString(reinterpret_cast<const QChar*>(s.getStr()), s.getLength());
}

}  // namespace marigal::engine::lo
