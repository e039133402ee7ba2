#pragma once
// Runs a program as a process of its own and measures it as the kernel counts it (wait4): the
// wall time, its own processor time and its peak memory. The benchmarks that time whole runs of
// the table tool share it.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace palvane::bench {

struct Usage {
    double wall = 0;   // seconds
    double cpu = 0;    // user + system seconds of the program itself
    double rssMiB = 0; // peak resident memory
};

struct MeasuredRun {
    enum class Ending { Succeeded, Failed, CannotStart };
    Ending ending = Ending::CannotStart;
    Usage usage;
};

// Runs command to its end, standard input from inFile and standard output into outFile.
inline MeasuredRun measureRun(const QStringList& command,
                              const QString& inFile = QStringLiteral("/dev/null"),
                              const QString& outFile = QStringLiteral("/dev/null")) {
    std::vector<QByteArray> arguments;
    for (const QString& argument : command)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray in = QFile::encodeName(inFile);
    const QByteArray out = QFile::encodeName(outFile);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    MeasuredRun run;
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.usage.wall = timer.nsecsElapsed() / 1e9;
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    run.usage.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.usage.rssMiB = usage.ru_maxrss / 1024.0;
    run.ending = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? MeasuredRun::Ending::Succeeded
                                                               : MeasuredRun::Ending::Failed;
    return run;
}

} // namespace palvane::bench
