#include "testutil.h"

#include "support/openfiles.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

void QuotarisTest::SetUp()
{
    ASSERT_TRUE(root.isValid());
    savedHome_ = qgetenv("HOME");
    savedData_ = qgetenv("QUOTARIS_HOME");
    savedConfig_ = qgetenv("XDG_CONFIG_HOME");
    QDir().mkpath(root.path() + QStringLiteral("/home"));
    QDir().mkpath(root.path() + QStringLiteral("/data"));
    qputenv("HOME", QFile::encodeName(root.path() + QStringLiteral("/home")));
    qputenv("QUOTARIS_HOME", QFile::encodeName(root.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + QStringLiteral("/config")));
    resetSupportLayer();
    setMessages(&msgs);
    // The update and help servers are not set unless a test points
    // UpdateHost and HelpHost at the fake service.
    // No test may reach the real provider: unless a test points the gateway
    // at a fake provider, it would ask a closed local port.
    store::write(QStringLiteral("LiveHost"), QStringLiteral("http://127.0.0.1:1"));
    for (const char* key : {"LiveCookieHost", "LiveWebHost", "LivePortalHost"})
        store::write(QLatin1String(key), QStringLiteral("http://127.0.0.1:1"));
    store::sync();
}

void QuotarisTest::TearDown()
{
    openfiles::closeAll();
    store::sync();
    setMessages(nullptr);
    resetSupportLayer();
    qputenv("HOME", savedHome_);
    qputenv("QUOTARIS_HOME", savedData_);
    qputenv("XDG_CONFIG_HOME", savedConfig_);
}

QString QuotarisTest::home() const { return root.path() + QStringLiteral("/home/"); }

QString QuotarisTest::dataFolder() const { return root.path() + QStringLiteral("/data"); }

QString QuotarisTest::path(const QString& relative) const { return root.path() + QLatin1Char('/') + relative; }

void QuotarisTest::quickRuns(int timeout)
{
    ProgramSettings& s = settings();
    s.isdelay = false;
    s.teller2 = timeout;
    s.teller3 = 1;
    s.dcurrent = 1;
}

QString QuotarisTest::formatOn(char letter, const QString& name) const
{
    FormatSettings& f = settings().format(letter);
    f.on = true;
    f.folder = path(name + QLatin1Char('/'));
    QDir().mkpath(f.folder);
    return f.folder;
}

QByteArray readAll(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& file, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(file);
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList ProgramRun::lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

ProgramRun runQuotaris(const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    p.start(QStringLiteral(QUOTARIS_BINARY), args);
    if (p.waitForStarted())
        loop.exec();
    if (p.state() != QProcess::NotRunning) {
        ADD_FAILURE() << "quotaris " << qPrintable(args.join(QLatin1Char(' '))) << " did not end in time";
        p.kill();
        p.waitForFinished();
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

struct FileSizeLimit::Saved {
    rlimit limit{};
    void (*handler)(int) = SIG_DFL;
};

FileSizeLimit::FileSizeLimit(qint64 bytes) : saved_(new Saved)
{
    getrlimit(RLIMIT_FSIZE, &saved_->limit);
    // The signal would end the process; the write's error is what is tested.
    saved_->handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_->limit;
    lowered.rlim_cur = static_cast<rlim_t>(bytes);
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &saved_->limit);
    std::signal(SIGXFSZ, saved_->handler);
    delete saved_;
}

SmallDisk::SmallDisk(const QString& folder, int kilobytes) : folder_(folder)
{
    QDir().mkpath(folder);
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0777";
    mounted_ = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
}

SmallDisk::~SmallDisk()
{
    if (mounted_)
        ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
}

void SmallDisk::fill(qint64 bytes)
{
    const QByteArray name = QFile::encodeName(folder_ + QStringLiteral("/filler"));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const QByteArray chunk(4096, 'f');
    off_t size = 0;
    for (;;) {
        const ssize_t n = ::write(fd, chunk.constData(), static_cast<size_t>(chunk.size()));
        if (n <= 0)
            break;
        size += n;
    }
    const off_t keep = std::max<off_t>(0, size - static_cast<off_t>(bytes));
    EXPECT_EQ(::ftruncate(fd, keep), 0);
    ::close(fd);
}
