// desktop_services_test.cpp: "Show in Folder" asks the file manager for the
// file's own bytes, on a private bus with a stand-in file manager (the
// desktop's own must not open windows), and the fallback's folder URI too.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>
#include <mutex>

#include "ui/desktop_services.h"

using namespace reelkeep;

namespace {

class FakeFileManager final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    // May run on Qt's D-Bus thread.
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        {
            std::lock_guard lock(m_mutex);
            m_calls.append(message);
        }
        connection.send(message.createReply());
        return true;
    }
    QList<QDBusMessage> takeCalls() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_calls, {});
    }

private:
    std::mutex m_mutex;
    QList<QDBusMessage> m_calls;  // guarded by m_mutex
};

class PrivateBus {
public:
    PrivateBus() {
        m_daemon.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (m_daemon.waitForReadyRead(5000)) address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("file manager"));
        QDBusConnection::disconnectFromBus(QStringLiteral("window"));
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    QString address;

private:
    QProcess m_daemon;
};

}  // namespace

TEST(DesktopServices, ShowInFolderAsksTheFileManagerForTheFilesOwnBytes) {
    const PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon (package dbus-daemon) did not start";
    QDBusConnection managerSide = QDBusConnection::connectToBus(bus.address, QStringLiteral("file manager"));
    FakeFileManager manager;
    ASSERT_TRUE(managerSide.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager));
    ASSERT_TRUE(managerSide.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    QtWorkspace workspace(QDBusConnection::connectToBus(bus.address, QStringLiteral("window")));

    const struct {
        QByteArray path;
        QString fileUri;
        QString folderUri;
    } cases[] = {
        // Not UTF-8: as text, U+FFFD would name a file that does not exist.
        {"/home/ann/caf\xe9/cl\xffp.mp4", "file:///home/ann/caf%E9/cl%FFp.mp4", "file:///home/ann/caf%E9"},
        {"/home/ann/Caf\xc3\xa9 #1 100%?.mp4", "file:///home/ann/Caf%C3%A9%20%231%20100%25%3F.mp4",
         "file:///home/ann"},
        {"/clip.mp4", "file:///clip.mp4", "file:///"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileUri.toStdString());
        EXPECT_EQ(fileUri(c.path), c.fileUri);
        EXPECT_EQ(folderUri(c.path), c.folderUri);
        workspace.showFileInFileManager(c.path);
        QList<QDBusMessage> calls;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !(calls = manager.takeCalls()).isEmpty(); }, 5000));
        ASSERT_EQ(calls.size(), 1);
        EXPECT_EQ(calls[0].interface(), "org.freedesktop.FileManager1");
        EXPECT_EQ(calls[0].member(), "ShowItems");
        EXPECT_EQ(calls[0].arguments().value(0).toStringList(), QStringList{c.fileUri});
    }
}
