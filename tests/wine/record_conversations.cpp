// The Linux half of the Windows engine's test: makes each design's card, and
// the start-up check, the way the program does (GenerationRun, with the
// preview's picture export) against the recording engine, and writes two
// files per conversation into OUTDIR:
//   NAME.calls  the recording engine's record, one call a line
//   NAME.tape   the same conversation as the Windows replay needs it: which
//               object each call went to, the arguments with their kinds, the
//               answer, and when each object was let go
//   record_conversations OUTDIR
// The composition itself needs Qt, which has no Windows build here; so the
// Windows side replays the tape through the COM backend instead, and the
// stand-in server's record must equal NAME.calls line for line.

#include "cardgen/availability.h"
#include "cardgen/generation_run.h"
#include "cardgen/page_export.h"
#include "cardgen/catalogue.h"
#include "common/files.h"
#include "engine/fake/recording_fake.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <map>

using namespace marigal;
using engine::Arg;
using engine::Args;
using engine::InvokeKind;
using engine::Object;
using engine::Value;

namespace {

QString Escaped(QString s)
{
    s.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n").replace('\r', "\\r");
    return s;
}

class TapeDispatch;

// Wraps a backend and writes down every call made through it.
class Tape : public engine::Backend {
public:
    explicit Tape(engine::Backend& inner) : inner_(inner) {}
    Object create(const std::u16string& progId) override;
    engine::CopiedPicture takeCopiedPicture() override { return inner_.takeCopiedPicture(); }

    QStringList lines;

private:
    friend class TapeDispatch;
    Value wrap(const Value& v);
    // Two fields: the kind, and the value as text (an object's id).
    QString fields(const Value& v) const;
    engine::Backend& inner_;
    int nextId_ = 1;
};

class TapeDispatch : public engine::Dispatch {
public:
    TapeDispatch(Tape& tape, int id, Value inner) : tape_(tape), id_(id), inner_(std::move(inner)) {}
    ~TapeDispatch() override { tape_.lines << QStringLiteral("release\t%1").arg(id_); }

    Value invoke(const std::u16string& member, InvokeKind kind, const Args& args) override
    {
        Args forwarded = args;
        QStringList argFields;
        for (Arg& a : forwarded) {
            argFields << Escaped(engine::Q(a.name)) << tape_.fields(a.value);
            if (a.value.kind() != Value::Kind::Object) continue;
            if (auto* own = dynamic_cast<TapeDispatch*>(a.value.toDispatch().get())) a.value = own->inner_;
        }
        const QString kindField = kind == InvokeKind::Method ? "M" : kind == InvokeKind::PropertyGet ? "G" : "P";
        QString head = QStringLiteral("call\t%1\t%2\t%3\t").arg(id_).arg(kindField, Escaped(engine::Q(member)));
        Value result;
        try {
            result = tape_.wrap(inner_.toDispatch()->invoke(member, kind, forwarded));
        } catch (const engine::EngineError& e) {
            tape_.lines << head + "X\t" + Escaped(engine::Q(e.description())) + Tail(argFields);
            throw;
        }
        tape_.lines << head + tape_.fields(result) + Tail(argFields);
        return result;
    }

    int id() const { return id_; }

private:
    static QString Tail(const QStringList& fields) { return fields.isEmpty() ? QString() : '\t' + fields.join('\t'); }

    Tape& tape_;
    int id_;
    Value inner_;
};

Object Tape::create(const std::u16string& progId)
{
    const Object made = inner_.create(progId);
    const Value wrapped = wrap(Value::object(made.dispatch()));
    lines << QStringLiteral("create\t%1\t%2").arg(fields(wrapped).section('\t', 1), Escaped(engine::Q(progId)));
    return Object(wrapped.toDispatch());
}

Value Tape::wrap(const Value& v)
{
    if (v.kind() != Value::Kind::Object) return v;
    return Value::object(std::make_shared<TapeDispatch>(*this, nextId_++, v));
}

QString Tape::fields(const Value& v) const
{
    switch (v.kind()) {
    case Value::Kind::Empty: return "E\t";
    case Value::Kind::String: return "S\t" + Escaped(v.toQString());
    case Value::Kind::StringRef: return "R\t" + Escaped(v.toQString());
    case Value::Kind::Bool: return v.toBool() ? "B\t1" : "B\t0";
    case Value::Kind::Int16: return "H\t" + QString::number(v.toInt());
    case Value::Kind::Int32: return "L\t" + QString::number(v.toInt());
    case Value::Kind::Single: return "F\t" + QString::number(v.toDouble(), 'g', 9);
    case Value::Kind::Object: {
        const auto* own = dynamic_cast<const TapeDispatch*>(v.toDispatch().get());
        return "O\t" + QString::number(own ? own->id() : 0);
    }
    }
    return {};
}

// The office's part where the program looks at what it did: the card file
// SaveAs writes, and the page picture CopyAsPicture makes.
class Office : public engine::RecordingFake {
public:
    Office()
    {
        onCall = [this](const QString& line, const Args& args) {
            if (line.contains(".SaveAs(")) test::WriteFile(args[0].value.toQString(), "card");
            if (line.endsWith(".CopyAsPicture()")) copied_ = true;
        };
    }
    engine::CopiedPicture takeCopiedPicture() override
    {
        if (!std::exchange(copied_, false)) return {};
        static const std::uint32_t white[4 * 4] = {0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff,
                                                  0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff,
                                                  0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff};
        return {4, 4, 16, 96, std::shared_ptr<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(white), [](auto*) {})};
    }

private:
    bool copied_ = false;
};

struct Windows : RunWindow, RunPreview {
    engine::Backend* backend = nullptr;
    Modal* modal = nullptr;
    int design = 0;
    QString photo;
    int DesignIndex() override { return design; }
    QString PhotoPath() override { return photo; }
    // Beyond plain letters: accents, a quote, and a character outside the
    // 16-bit range (two UTF-16 units on the wire).
    QString Message() override { return QStringLiteral("Happy birthday, Zo\u00eb \"Zee\" \U0001F382"); }
    void SetPointer(MousePointer) override {}
    void SaveDocAsJPG(const QString& inFile) override
    {
        marigal::SaveDocAsJPG(*backend, *modal, inFile, PictureFit{QSize(6000, 8000), 96});
    }
    void Hide() override {}
    void DrainInput() override {}
    void SetPicture(const QImage&) override {}
    void SetWordFile(const QString&) override {}
    void Show() override {}
};

bool Write(const QString& path, const QStringList& lines)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write((lines.join('\n') + '\n').toUtf8()) > 0;
}

// Writes NAME.calls and NAME.tape; false (with the reason on stderr) when a
// message box came up other than the error box `refusal` is to bring.
bool Record(const QString& out, const QString& name, const std::function<void(engine::Backend&, Modal&)>& run,
            const std::function<void(engine::RecordingFake&)>& setUp = {}, const QString& refusal = {})
{
    Office office;
    if (setUp) setUp(office);
    test::ScriptedModal modal;
    QStringList tape;
    {
        Tape taped(office);
        run(taped, modal);
        tape = taped.lines;
    }
    QStringList shown;
    for (const test::ShownMessage& m : modal.messages) shown << m.text;
    const bool refused = shown.size() == 1 && shown[0].startsWith(refusal + '\n');
    if (refusal.isEmpty() ? !shown.isEmpty() : !refused) {
        std::fprintf(stderr, "%s: the boxes shown: %s\n", qPrintable(name), qPrintable(shown.join(" | ")));
        return false;
    }
    if (!Write(QDir(out).filePath(name + ".calls"), office.calls()) || !Write(QDir(out).filePath(name + ".tape"), tape)) {
        std::fprintf(stderr, "%s: cannot write into %s\n", qPrintable(name), qPrintable(out));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_conversations OUTDIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    // The run's working folder: its paths are in the conversation.
    const QString temp = QDir(out).filePath("temp");
    QDir().mkpath(temp);
    qputenv("TEMP", QFile::encodeName(temp));
    SetDesignFolder(QStringLiteral(MARIGAL_APP_DIR "/designs"));
    // Large enough to print sharp: no box about it.
    const QString photo = test::WriteJpeg(QDir(out).filePath("photo.jpg"), 3000, 2000);

    bool ok = Record(out, "availability", [](engine::Backend& b, Modal& m) {
        CheckWordInstance(b, m, "Marigal", [] { std::fprintf(stderr, "the start-up check ended the program\n"); });
    });
    const auto card = [&](int design) {
        return [&, design](engine::Backend& b, Modal& m) {
            Windows w;
            w.backend = &b;
            w.modal = &m;
            w.design = design;
            w.photo = photo;
            int next = 0;
            bool busy = false;
            // Each card a name of its own: the run folder keeps the earlier ones.
            GenerationRun run(b, m, w, w, "Marigal", [&] { return (design + next++) % 9 + 1; });
            run.PushButton6_Click(busy);
        };
    };
    for (int design = 0; design < 6; ++design) ok = Record(out, QStringLiteral("design%1").arg(design), card(design)) && ok;
    // Word refuses the photo (the frame's copy of it): its description
    // reaches the error box, and the card is made without it.
    const QString refusal = engine::Q(engine::errtext::kPictureNotFound);
    ok = Record(
             out, "refused-photo", card(0),
             [&](engine::RecordingFake& office) {
                 office.onCall = [refusal, saves = office.onCall](const QString& line, const engine::Args& args) {
                     if (line.startsWith("ActiveDocument.Application.Selection.InlineShapes.AddPicture("))
                         throw engine::EngineError(refusal);
                     saves(line, args);
                 };
             },
             refusal) &&
         ok;
    return ok ? 0 : 1;
}
