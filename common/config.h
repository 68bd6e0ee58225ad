#pragma once
// Product constants that a release may change, kept in one place.

#include <QString>

namespace marigal::config {

inline const QString kProductTitle = QStringLiteral("Marigal");
// Settings live under the maker's name, in the product's section.
inline const QString kSettingsOrganisation = QStringLiteral("Quenlow");
inline const QString kSettingsApplication = QStringLiteral("Marigal");
inline const QString kSupportAddress = QStringLiteral("support@quenlow.com");
inline const QString kMakerSite = QStringLiteral("https://www.quenlow.com/marigal/");
// Build tag the error box names, so a screenshot tells support which release failed.
inline const QString kErrorTag = QStringLiteral("Pendrel2021/08/31");

}  // namespace marigal::config
