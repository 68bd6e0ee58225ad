#include "cardgen/card_photo.h"

#include "cardgen/catalogue.h"
#include "common/errors.h"
#include "engine/engine_error.h"
#include "engine/value.h"

#include <algorithm>
#include <cmath>

namespace marigal {

std::vector<PhotoPlace> PhotoPlaces(int designIndex)
{
    // Every frame's room: the frame the design draws, less its text box's
    // inner margins.
    const auto frame = [](int width, int height) {
        return PhotoPlace{QSize(width - 2 * kFrameInsetX, height - 2 * kFrameInsetY)};
    };
    switch (designIndex) {
    case 0: return {frame(kPhotoFrames[0].width(), kPhotoFrames[0].height())};
    case 1: return {frame(kPhotoFrames[1].width(), kPhotoFrames[1].height())};
    case 2: return {frame(kPhotoFrames[2].width(), kPhotoFrames[2].height())};
    case 3: return {frame(kPhotoFrames[3].width(), kPhotoFrames[3].height())};
    case 4:
        return {frame(kPhotoFrames[4].width(), kPhotoFrames[4].height()),
                frame(kFlowersSmallFrame.width(), kFlowersSmallFrame.height()),
                frame(kFlowersSmallFrame.width(), kFlowersSmallFrame.height())};
    case 5: return {PhotoPlace{kYellowFlowerPhotoRoom, QColor()}};
    default: throw AppError(apperr::kSubscriptOutOfRange);
    }
}

std::vector<PreparedPhoto> PrepareCardPhoto(const QString& path, const QString& folder, int designIndex, PhotoFit fit)
{
    const std::vector<PhotoPlace> places = PhotoPlaces(designIndex);
    try {
        return PreparePhoto(path, folder, places, fit);
    } catch (const PhotoError& e) {
        // As the word processor would have said it, given the file.
        switch (e.problem()) {
        case PhotoProblem::NotFound: throw AppError(engine::Q(engine::errtext::kPictureNotFound));
        case PhotoProblem::Unreadable: throw AppError(engine::Q(engine::errtext::kPictureUnreadable));
        case PhotoProblem::TooLarge: throw AppError(engine::Q(engine::errtext::kPictureTooLarge));
        case PhotoProblem::NotAPicture: break;
        }
        throw AppError(engine::Q(engine::errtext::kNotAPicture));
    }
}

double PhotoShortfall(int designIndex, const std::vector<PreparedPhoto>& copies)
{
    if (designIndex != 5 || copies.empty()) return 0;
    return std::max(0, kYellowFlowerPhotoRoom.height() - copies.front().size.height()) * 72.0 / 2540;
}

double LowestPpi(const std::vector<PreparedPhoto>& copies)
{
    double lowest = 0;
    for (const PreparedPhoto& c : copies) lowest = lowest == 0 ? c.ppi : std::min(lowest, c.ppi);
    return lowest;
}

QString SmallPhotoText(double ppi)
{
    return QStringLiteral("The photo is small for this design: it prints at %1 pixels per inch and will look blurred.")
        .arg(int(std::lround(ppi)));
}

}  // namespace marigal
