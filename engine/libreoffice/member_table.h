#pragma once
// Late-bound members of one kind of office object: name -> handler. Each
// object class keeps one static table, so supporting a member is one line.
// Names match without regard to case, as automation names do.

#include "engine/engine_error.h"
#include "engine/object.h"

#include <QHash>
#include <QString>

#include <initializer_list>

namespace marigal::engine::lo {

enum MemberKinds : unsigned {
    kMethod = 1u << 0,
    kGet = 1u << 1,
    kPut = 1u << 2,
};

inline unsigned kindBit(InvokeKind kind)
{
    switch (kind) {
    case InvokeKind::Method: return kMethod;
    case InvokeKind::PropertyGet: return kGet;
    case InvokeKind::PropertyPut: return kPut;
    }
    return 0;
}

template <class Self>
class MemberTable {
public:
    using Handler = Value (Self::*)(InvokeKind, const Args&);
    struct Entry {
        const char* name;
        unsigned kinds;  // MemberKinds the member answers to
        Handler handler;
    };

    MemberTable(std::initializer_list<Entry> entries)
    {
        for (const Entry& e : entries) entries_.insert(QString::fromLatin1(e.name).toLower(), e);
    }

    // An unknown member, or a known one used the wrong way (a method assigned
    // to, say), raises "Object doesn't support this property or method".
    Value invoke(Self& self, const QString& member, InvokeKind kind, const Args& args) const
    {
        const auto it = entries_.constFind(member.toLower());
        if (it == entries_.constEnd() || !(it->kinds & kindBit(kind))) throw EngineError(errtext::kNoSuchMember);
        return (self.*(it->handler))(kind, args);
    }

private:
    QHash<QString, Entry> entries_;
};

}  // namespace marigal::engine::lo
