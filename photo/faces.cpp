#include "photo/subject.h"

namespace marigal {

std::vector<QRect> FindFaces(const QImage&)
{
    return {};
}

}  // namespace marigal
