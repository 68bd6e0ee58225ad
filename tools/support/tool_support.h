#pragma once
// Small pieces the tools share.

#include "common/modal.h"

#include <QFile>

#include <cstdio>

namespace marigal::tools {

// Every message, error boxes included, goes to the terminal: nobody is there
// to press OK.
class StderrModal : public Modal {
public:
    MsgResult message(const QString& text, const QString&, MsgButtons, MsgIcon) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        ++messages;
        return MsgResult::Ok;
    }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, int&) override { return {}; }

    int messages = 0;
};

// This process's own peak resident memory in MB (VmHWM): the kernel's figure
// for a child process would also count the offices it started and reaped.
inline double OwnPeakMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

}  // namespace marigal::tools
