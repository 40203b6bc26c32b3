// Shared by the libFuzzer targets: a fault stops the run with a message
// (abort, so that libFuzzer keeps the input), and a scratch folder for the
// targets that go through files.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond);       \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A folder of this process's own below the system's temporary folder.
inline QString ScratchDir() {
    static const QString dir = [] {
        QByteArray templ = QDir::tempPath().toLocal8Bit() + "/tavrelo-fuzz-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr)
            std::abort();
        return QString::fromLocal8Bit(templ);
    }();
    return dir;
}
