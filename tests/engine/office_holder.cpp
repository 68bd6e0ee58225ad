// Starts one office and holds it until it is killed, for the tests that kill
// a program of ours with its office running:
//   office_holder PROFILE_ROOT [launcher]
// Prints "ready" once the office answers.

#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/office_session.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    marigal::engine::LibreOfficeOptions options;
    options.profileRoot = QString::fromLocal8Bit(argv[1]);
    options.throughLauncher = argc > 2 && std::strcmp(argv[2], "launcher") == 0;
    auto session = marigal::engine::lo::OfficeSession::start(options);
    std::printf("ready %d\n", int(session->processGroup()));
    std::fflush(stdout);
    for (;;) ::pause();
}
