#include "libreoffice/lo_backend.h"

#include "libreoffice/lo_application.h"
#include "libreoffice/office_session.h"
#include "libreoffice/quitting_offices.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace marigal::engine {

void WaitForQuittingOffices()
{
    lo::QuittingOffices::waitAll();
}

struct LibreOfficeBackend::Started {
    std::mutex mutex;
    std::vector<std::weak_ptr<lo::OfficeSession>> sessions;
    std::shared_ptr<lo::CopiedPictures> copied = std::make_shared<lo::CopiedPictures>();
};

LibreOfficeBackend::LibreOfficeBackend(LibreOfficeOptions options)
    : options_(std::move(options)), started_(std::make_shared<Started>())
{
}

LibreOfficeBackend::~LibreOfficeBackend()
{
    WaitForQuittingOffices();
}

Object LibreOfficeBackend::create(const std::u16string& progId16)
{
    // Class names are matched without regard to case, as the platform does.
    if (Q(progId16).compare(Q(kWordProgId), Qt::CaseInsensitive) != 0) throw EngineError(errtext::kCannotCreate);
    auto session = lo::OfficeSession::start(options_);
    {
        std::lock_guard lock(started_->mutex);
        auto& all = started_->sessions;
        all.erase(std::remove_if(all.begin(), all.end(), [](const auto& s) { return s.expired(); }), all.end());
        all.push_back(session);
    }
    return Object(lo::LoApplication::create(std::move(session), started_->copied));
}

CopiedPicture LibreOfficeBackend::takeCopiedPicture()
{
    return started_->copied->take();
}

void LibreOfficeBackend::abortAll()
{
    std::lock_guard lock(started_->mutex);
    for (const auto& weak : started_->sessions)
        if (const auto session = weak.lock()) session->abort();
}

}  // namespace marigal::engine
