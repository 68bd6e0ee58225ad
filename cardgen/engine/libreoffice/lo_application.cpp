#include "libreoffice/lo_application.h"

namespace marigal::engine::lo {

const MemberTable<LoApplication>& LoApplication::members()
{
    static const MemberTable<LoApplication> table{
        {"Quit", kMethod, &LoApplication::quit},
    };
    return table;
}

LoApplication::LoApplication(std::shared_ptr<OfficeSession> session) : session_(std::move(session)) {}

Value LoApplication::invoke(const std::u16string& member, InvokeKind kind, const Args& args)
{
    session_->ensureAlive();
    return members().invoke(*this, Q(member), kind, args);
}

Value LoApplication::quit(InvokeKind, const Args&)
{
    // Word's optional SaveChanges/OriginalFormat/RouteDocument do not apply:
    // the card pipeline saves what it keeps before it quits.
    session_->quit();
    return {};
}

}  // namespace marigal::engine::lo
