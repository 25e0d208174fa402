// Start-up time to the login dialog: the program (VANTREL_STARTUP_MARK set) against a bare Qt
// window (BareWindow), both started the same way from here, on the same display and platform,
// one after the other, several times; prints every start, the median of each and their ratio.
// The program's site is a private devsite, so that its version check and reference data are
// answered at once; its settings and database live in a fresh folder (the first start
// creates them, and counts apart as the cold one).
//
//   BenchStartup [--runs N]
//
// Needs devsite, Vantrel and BareWindow in VANTREL_TEST_BINDIR (scripts/bench sets it).

#include "support/DevsiteFixture.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

qint64 nowNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Milliseconds from the start of `program` to the first frame it reports; -1 when none came.
double startToFrameMs(const QString& program, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    const qint64 started = nowNs();
    p.start(program, QStringList());
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("shown "))
            return double(line.mid(6).toLongLong() - started) / 1e6;
    }
    fprintf(stderr, "%s reported no frame: %s\n", qPrintable(program), p.readAllStandardError().left(300).constData());
    return -1;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    const int n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

QString list(const QList<double>& v)
{
    QStringList s;
    for (double x : v)
        s << QString::number(x, 'f', 1);
    return s.join(' ');
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption runsOpt("runs", "Warm starts of each.", "N", "9");
    parser.addOption(runsOpt);
    parser.addHelpOption();
    parser.process(app);
    const int runs = qMax(1, parser.value(runsOpt).toInt());

    DevsiteFixture site;
    if (!site.start()) {
        fprintf(stderr, "devsite did not start (set VANTREL_TEST_BINDIR)\n");
        return 1;
    }
    site.exportEnv();
    const QString bin = QString::fromLocal8Bit(qgetenv("VANTREL_TEST_BINDIR"));
    const QString program = QDir(bin).filePath("Vantrel");
    const QString bare = QDir(bin).filePath("BareWindow");

    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("XDG_CACHE_HOME", home.path() + "/cache");
    env.insert("VANTREL_STARTUP_MARK", "1");
    printf("platform %s, display %s\n", qPrintable(env.value("QT_QPA_PLATFORM", "(default)")),
           qPrintable(env.value("DISPLAY", "(none)")));

    const double coldProgram = startToFrameMs(program, env);
    const double coldBare = startToFrameMs(bare, env);
    if (coldProgram < 0 || coldBare < 0)
        return 1;
    printf("cold start (fresh settings and database): program %.1f ms, bare window %.1f ms\n", coldProgram, coldBare);
    QList<double> ours, theirs;
    for (int i = 0; i < runs; ++i) {
        // Alternating, so that a change of the machine's load falls on both alike.
        const bool bareFirst = i % 2;
        const double a = startToFrameMs(bareFirst ? bare : program, env);
        const double b = startToFrameMs(bareFirst ? program : bare, env);
        if (a < 0 || b < 0)
            return 1;
        ours << (bareFirst ? b : a);
        theirs << (bareFirst ? a : b);
    }
    printf("start to login dialog, %d starts (ms): %s\n", runs, qPrintable(list(ours)));
    printf("start to bare window, %d starts (ms):  %s\n", runs, qPrintable(list(theirs)));
    printf("median: login dialog %.1f ms, bare window %.1f ms, ratio %.2f\n", median(ours), median(theirs),
           median(ours) / median(theirs));
    return 0;
}
