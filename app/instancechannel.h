#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// One viewer per user: the first launch listens on a local socket in a
// folder only the user can enter; a later launch hands its files to it and ends.
// A viewer started beside another one still works, with a list of its own.
class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        HandedOver, // a running viewer took the files: this launch ends
        Listening,  // this launch is the viewer; later launches reach it
        Alone,      // no channel (a viewer that does not answer, or no socket)
    };

    // name: the socket (a path on Unix), defaultName() when empty.
    explicit InstanceChannel(const QString &name = QString(), QObject *parent = nullptr);
    ~InstanceChannel() override;

    // "velmora_viewer.socket" in a folder only the user can enter: the
    // runtime folder, else one of ours in the cache or config folder.
    // Empty when there is none; claim() then returns Alone.
    static QString defaultName();
    QString name() const { return mName; }

    // Hands files (absolute paths, maybe none) to a running viewer of the
    // same user, or becomes the one others reach. Returns within about
    // kLockWaitMs + kAnswerWaitMs.
    Role claim(const QStringList &files);
    // From now on, file lists that arrive are emitted; those that came
    // before are emitted at once, in order.
    void serve();

    // Bounds of claim(), in milliseconds.
    static constexpr int kLockWaitMs = 2000;   // another launch deciding at the same moment
    static constexpr int kConnectWaitMs = 1000;
    static constexpr int kAnswerWaitMs = 5000; // a running viewer busy starting up answers late

signals:
    // Existing local files and folders a later launch named (others are
    // dropped); empty when it named none.
    void sig_FilesReceived(const QStringList &files);

private:
    enum class HandOver { Done, NoServer, NoAnswer };
    HandOver handOver(const QStringList &files);
    bool listen();
    void slotNewConnection();
    void readMessage(QLocalSocket *socket);

    QString mName;
    QLocalServer *mServer = nullptr;
    bool mServing = false;
    QList<QStringList> mWaiting; // received before serve()
};
