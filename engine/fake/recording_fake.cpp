#include "engine/fake/recording_fake.h"

namespace marigal::engine {

namespace {

// Word's members that hold values, not objects, with a value of each one's kind.
std::optional<Value> WordValue(const QString& member)
{
    if (member == u"Overflowing" || member == u"Bold" || member == u"BoldBi") return Value::boolean(false);
    if (member == u"Size" || member == u"SizeBi") return Value::single(12);
    if (member == u"SpaceAfter") return Value::single(0);
    if (member == u"Width") return Value::single(400);
    if (member == u"Height") return Value::single(80);
    if (member == u"Left" || member == u"Top") return Value::single(50);
    if (member == u"Count") return Value::int32(5);
    if (member == u"Information") return Value::int32(1);
    return {};
}

}  // namespace

class FakeDispatch : public Dispatch {
public:
    FakeDispatch(RecordingFake& owner, QString path, bool application)
        : owner_(owner), path_(std::move(path)), application_(application) {}

    Value invoke(const std::u16string& member16, InvokeKind kind, const Args& args) override
    {
        const QString member = Q(member16);
        if (quit_) throw EngineError(errtext::kServerGone);
        const QString target = path_.isEmpty() ? member : path_ + QLatin1Char('.') + member;
        QString line;
        Args own = args;
        if (kind == InvokeKind::PropertyPut) {
            const Value assigned = own.back().value;
            own.pop_back();
            line = target + ArgList(own, false) + QStringLiteral(" = ") + Q(assigned.describe());
        } else {
            line = target + ArgList(own, kind == InvokeKind::Method);
        }
        owner_.calls_->append(line);
        if (auto it = owner_.failures_.find(line); it != owner_.failures_.end()) throw EngineError(it->second);
        if (owner_.onCall) owner_.onCall(line, args);
        if (application_ && kind == InvokeKind::Method && member == QStringLiteral("Quit") && path_.isEmpty()) {
            quit_ = true;
            --*owner_.running_;
        }
        if (kind != InvokeKind::PropertyPut) {
            if (owner_.answer)
                if (std::optional<Value> v = owner_.answer(line)) return *v;
            if (kind == InvokeKind::PropertyGet)
                if (std::optional<Value> v = WordValue(member)) return *v;
        }
        // Whatever else a get or a method returns is an object named after the call.
        if (kind == InvokeKind::PropertyGet)
            return Value::object(std::make_shared<FakeDispatch>(owner_, target + ArgList(own, false), false));
        if (kind == InvokeKind::Method) return Value::object(std::make_shared<FakeDispatch>(owner_, line, false));
        return {};
    }

private:
    static QString ArgList(const Args& args, bool alwaysParens)
    {
        if (args.empty()) return alwaysParens ? QStringLiteral("()") : QString();
        QStringList parts;
        for (const Arg& a : args) parts << Q(a.describe());
        return QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
    }

    RecordingFake& owner_;
    QString path_;
    bool application_;
    bool quit_ = false;
};

Object RecordingFake::create(const std::u16string& progId)
{
    calls_->append(QStringLiteral("CreateObject(\"%1\")").arg(Q(progId)));
    if (failCreate) throw EngineError(errtext::kCannotCreate);
    if (onCall) onCall(calls_->back(), {});
    ++*running_;
    return Object(std::make_shared<FakeDispatch>(*this, QString(), true));
}

}  // namespace marigal::engine
