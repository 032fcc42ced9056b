// as_nobody.cpp: a permission test, started again as nobody when root runs it.
// The child reaches nothing of root's: the binary through a descriptor (a
// checkout may sit below /root), a home and TMPDIR of its own, and LSan's
// suppressions copied where it may read them.
#include "support/as_nobody.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace reelkeep::test {
namespace {

// Below ctest's limit for one test, so the verdict comes from here, with the child's output.
constexpr int kChildTimeoutMs = 100'000;

// LSAN_OPTIONS with its suppressions file copied into `home`, or as it was.
QString withReadableSuppressions(const QString& options, const QString& home) {
    QStringList parts = options.split(QLatin1Char(':'));
    for (QString& part : parts) {
        if (!part.startsWith(QLatin1String("suppressions="))) continue;
        const QString copy = home + QStringLiteral("/lsan.supp");
        if (QFile::copy(part.mid(13), copy)) {
            QFile::setPermissions(copy, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            part = QStringLiteral("suppressions=") + copy;
        }
    }
    return parts.join(QLatin1Char(':'));
}

void skipAsTheChildDid(const QByteArray& output) {
    GTEST_SKIP() << "skipped as uid " << kNobodyId << ":\n" << output.toStdString();
}

}  // namespace

bool rerunAsNobody() {
    if (::geteuid() != 0) return false;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const QString filter =
        QStringLiteral("--gtest_filter=%1.%2")
            .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name()));
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) {
        ADD_FAILURE() << "setpriv (util-linux) is needed to run this test as root";
        return true;
    }
    const QTemporaryDir home;
    const QByteArray homeBytes = QFile::encodeName(home.path());
    if (!home.isValid() || ::chown(homeBytes.constData(), kNobodyId, kNobodyId) != 0) {
        ADD_FAILURE() << "cannot make a folder for uid " << kNobodyId;
        return true;
    }
    // Inherited on purpose (no O_CLOEXEC): setpriv runs the binary through it.
    const int binary =
        ::open(QFile::encodeName(QCoreApplication::applicationFilePath()).constData(), O_RDONLY);
    if (binary < 0) {
        ADD_FAILURE() << "cannot open the test binary";
        return true;
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("TMPDIR"), home.path());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));  // root's, which Qt would refuse
    environment.remove(QStringLiteral("GTEST_OUTPUT"));     // a report into root's folders
    if (environment.contains(QStringLiteral("LSAN_OPTIONS")))
        environment.insert(
            QStringLiteral("LSAN_OPTIONS"),
            withReadableSuppressions(environment.value(QStringLiteral("LSAN_OPTIONS")), home.path()));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(home.path());
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QString uid = QString::number(kNobodyId);
    child.start(setpriv, {QStringLiteral("--reuid=") + uid, QStringLiteral("--regid=") + uid,
                          QStringLiteral("--clear-groups"), QStringLiteral("--"),
                          QStringLiteral("/proc/self/fd/%1").arg(binary), filter});
    const bool isFinished = child.waitForFinished(kChildTimeoutMs);
    ::close(binary);
    if (!isFinished) {
        child.kill();
        child.waitForFinished();
    }
    const QByteArray output = child.readAll();
    if (!isFinished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        ADD_FAILURE() << "as uid " << kNobodyId << ":\n" << output.toStdString();
    else if (output.contains("[  SKIPPED ] 1 test"))
        skipAsTheChildDid(output);
    else if (!output.contains("[  PASSED  ] 1 test"))
        ADD_FAILURE() << "the test did not run as uid " << kNobodyId << ":\n" << output.toStdString();
    return true;
}

}  // namespace reelkeep::test
