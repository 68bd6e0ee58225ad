#include "engine/libreoffice/lo_backend.h"

#include "engine/libreoffice/lo_application.h"
#include "engine/libreoffice/lo_sheet.h"
#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/office_session.h"
#include "engine/libreoffice/quitting_offices.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace marigal::engine {

void WaitForQuittingOffices()
{
    lo::QuittingOffices::waitAll();
}

std::vector<std::pair<int, QStringList>> ReadSpreadsheet(const LibreOfficeOptions& options, const QString& path,
                                                         const QString& sheet, const QStringList& columns)
{
    // Somebody else's file: an office with no network to reach out with.
    LibreOfficeOptions reader = options;
    reader.ownNetwork = true;
    std::shared_ptr<lo::OfficeSession> session;
    try {
        session = lo::OfficeSession::start(reader);
    } catch (const EngineError& e) {
        throw std::runtime_error("the office that reads it could not be started: " + std::string(e.what()));
    }
    qCInfo(lo::lcOffice) << "the office reading" << path
                         << (session->inOwnNetwork() ? "has a network of its own" : "shares this program's network");
    struct Ended {
        lo::OfficeSession& session;
        ~Ended() { session.quit(); }
    } ended{*session};
    std::vector<std::pair<int, QStringList>> rows;
    try {
        for (lo::SheetRow& row : lo::ReadSheet(*session, path, sheet, columns))
            rows.emplace_back(row.row, std::move(row.cells));
    } catch (const EngineError& e) {
        // What was happening, not the automation layer's words.
        const std::u16string_view why = e.description();
        if (why == errtext::kOutOfMemory) throw std::runtime_error("the office ran out of memory while reading it");
        if (why == errtext::kServerHung)
            throw std::runtime_error("the office took longer than " + std::to_string(lo::kSheetLoadBound.count()) +
                                     " s to read it");
        if (why == errtext::kServerGone) throw std::runtime_error("the office stopped while reading it");
        throw std::runtime_error(e.what());
    }
    return rows;
}

struct LibreOfficeBackend::Started {
    std::mutex mutex;
    std::vector<std::weak_ptr<lo::OfficeSession>> sessions;
    bool aborted = false;
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

void KillAllOfficesNow() noexcept
{
    lo::KillAllOfficesNow();
}

Object LibreOfficeBackend::create(const std::u16string& progId16)
{
    // Class names are matched without regard to case, as the platform does.
    if (Q(progId16).compare(Q(kWordProgId), Qt::CaseInsensitive) != 0) throw EngineError(errtext::kCannotCreate);
    {
        std::lock_guard lock(started_->mutex);
        if (started_->aborted) throw EngineError(errtext::kCannotCreate);
    }
    // Known before its office starts, so that abortAll() reaches a start under way.
    auto session = lo::OfficeSession::start(options_, [this](const std::shared_ptr<lo::OfficeSession>& starting) {
        std::lock_guard lock(started_->mutex);
        if (started_->aborted) starting->abort();
        auto& all = started_->sessions;
        all.erase(std::remove_if(all.begin(), all.end(), [](const auto& s) { return s.expired(); }), all.end());
        all.push_back(starting);
    });
    return Object(lo::LoApplication::create(std::move(session), started_->copied));
}

CopiedPicture LibreOfficeBackend::takeCopiedPicture()
{
    return started_->copied->take();
}

void LibreOfficeBackend::abortAll()
{
    std::lock_guard lock(started_->mutex);
    started_->aborted = true;
    for (const auto& weak : started_->sessions)
        if (const auto session = weak.lock()) session->abort();
}

}  // namespace marigal::engine
