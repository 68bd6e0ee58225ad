#include "engine/libreoffice/lo_application.h"

namespace marigal::engine::lo {

const MemberTable<LoApplication>& LoApplication::members()
{
    static const MemberTable<LoApplication> table{
        {"Quit", kMethod, &LoApplication::quit},
        {"Documents", kGet, &LoApplication::documents},
        {"ActiveDocument", kGet, &LoApplication::activeDocument},
        {"Selection", kGet, &LoApplication::selection},
        {"DisplayAlerts", kGet | kPut, &LoApplication::displayAlerts},
    };
    return table;
}

std::shared_ptr<LoApplication> LoApplication::create(std::shared_ptr<OfficeSession> session,
                                                     std::shared_ptr<CopiedPictures> copied)
{
    std::shared_ptr<LoApplication> app(new LoApplication(std::move(session), std::move(copied)));
    app->word_.setApplication(app);
    return app;
}

LoApplication::LoApplication(std::shared_ptr<OfficeSession> session, std::shared_ptr<CopiedPictures> copied)
    : session_(session), word_(session, std::move(copied))
{
}

Value LoApplication::invoke(const std::u16string& member, InvokeKind kind, const Args& args)
{
    session_->ensureAlive();
    return members().invoke(*this, Q(member), kind, args);
}

Value LoApplication::quit(InvokeKind, const Args&)
{
    // Word's optional SaveChanges/OriginalFormat/RouteDocument do not apply:
    // the card pipeline saves what it keeps before it quits.
    word_.closeAll();
    session_->quit();
    return {};
}

Value LoApplication::displayAlerts(InvokeKind kind, const Args& args)
{
    if (kind == InvokeKind::PropertyGet) return word_.displayAlerts();
    word_.setDisplayAlerts(args.back().value);
    return {};
}

}  // namespace marigal::engine::lo
