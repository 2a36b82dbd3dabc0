#pragma once

#include "droppedrecordings.h"
#include "filelistinfo.h"

#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QPoint>
#include <QStringList>
#include <QUrl>
#include <QWidget>

namespace Ui {
class FormFileList;
}
class FileListProber;
class RecordingCollector;
class sqloperate;

// The file list: a small frameless window of the recordings added in this
// run, mirrored row by row in its sqloperate store. Recordings are read on
// worker threads and listed in the order they were added; the panel never
// plays anything, it announces the chosen entry with sig_SetFile.
class FormFileList : public QWidget
{
    Q_OBJECT

public:
    // The store lives in databaseFolder (sqloperate::defaultFolder() when
    // empty) under connectionName (the default connection when empty).
    explicit FormFileList(QWidget *parent = nullptr, const QString &databaseFolder = QString(),
                          const QString &connectionName = QString());
    ~FormFileList() override;

    // Reads the recording off the GUI thread, then lists and stores it
    // after everything added before it. With play set it is then selected
    // and announced for playing. A path already listed or on its way is not
    // added again; with play set the listed entry is announced instead.
    void addFile(const QString &path, bool play);
    // Dropped files and folders, as on the main window: only the last
    // dropped file plays, folders are only listed. Folders are walked off
    // the GUI thread (collectRecordings), within bounds; the recordings
    // found are then added in the order named.
    void addDropped(const QList<QUrl> &urls);
    // Files named from outside (the command line, "Open with", a later
    // launch): each is read and listed in turn, the first file plays;
    // folders are walked as when dropped, and only listed.
    void addOpened(const QStringList &paths);
    // Ends a folder's walk under way, for good: the window closes.
    void stopAdding();
    // Whether path is listed or being read.
    bool knows(const QString &path) const;
    // The add dialog over dialogParent; what is chosen is listed, the first plays.
    void chooseFiles(QWidget *dialogParent);
    // What the open dialog's choice does: one file plays and hides the
    // panel; several are only listed.
    void addChosenFiles(const QStringList &files);
    // Move the selection one row (wrapping) and announce it, not playing.
    void selectNextFile();
    void selectPreviousFile();
    // Moves the selection to the next entry in that direction whose
    // recording is there (nextPlayableRow) and fills entry; false, the
    // selection unchanged, when no entry's recording is there. Counted from
    // the row of playing when it is listed (a drive moves on by itself),
    // else from the selection.
    bool selectPlayable(bool forward, FileListInfo &entry, const QString &playing = QString());
    // Marks the entry of a recording (once played) as having a GPS track to
    // show, or none: a map pin before its name, and a line in its tip.
    void markTrack(const QString &path, bool hasTrack);
    // 1 with a track, 0 without, -1 not known yet.
    int trackMark(int row) const;
    void setBasePath(const QString &path);
    QString basePath() const { return mBasePath; }

    int rowCount() const;
    // Recordings still being read, and additions whose folders are still
    // being walked (one each).
    int pendingCount() const;
    // The paths of the listed rows, in row order.
    QStringList files() const;
    sqloperate *database() const { return mDatabase; }
    // Sets the texts again after a change of language.
    void retranslateUi();

signals:
    void sig_SetFile(FileListInfo info, bool play);
    // A recording was read and listed (at the end of the list).
    void sig_Listed(QString path);
    // An entry was removed from the list; path: its recording.
    void sig_DeleteFile(QString path);
    void sig_DetKeySpace();
    void sig_SaveBasePath(QString path);
    // A recording that was added cannot be played, and why; it is not listed.
    void sig_CannotPlay(QString path, ProbeProblem problem);
    // A line for the window's status line: how an addition went.
    void sig_Status(QString text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void on_pushButtonQuit_clicked();
    void on_pushButtonAdd_clicked();
    void on_pushButtonDelete_clicked();
    void on_tableWidget_doubleClicked(const QModelIndex &index);
    void slotProbed(quint64 ticket, FileListInfo info, bool ok);
    void slotCollected(const DroppedRecordings &found);

private:
    struct Pending
    {
        quint64 ticket = 0;
        QString path;
        QString key;     // samePathKey(path)
        bool play = false;
        quint64 addition = 0; // the addition it came with; 0: added on its own
    };
    // An addition whose recordings are being read; reported once the last is.
    struct Addition
    {
        AdditionTally tally;
        int waiting = 0;      // its recordings still being read, and one while its paths go in
        bool lone = false;    // one file, to start
        bool started = false; // its file started
    };

    void addFile(const QString &path, bool play, quint64 addition);
    // Counts one outcome of addition (none when outcome is null).
    void settle(quint64 addition, int AdditionTally::*outcome, bool started = false);
    // One of addition's recordings is done: at its last, the status line
    // says what it came to, unless something else already shows it.
    void release(quint64 addition);
    static QString samePathKey(const QString &path);
    int listedRow(const QString &key) const;
    void announce(int row, bool play);
    void selectRow(int row);
    void showProgress();

    Ui::FormFileList *ui;
    QPoint mDragOffset;
    bool mDragging = false;
    sqloperate *mDatabase = nullptr;
    FileListProber *mProber = nullptr;
    RecordingCollector *mCollector = nullptr; // what additions name, off the GUI thread
    FileListInfo mFileInfo;      // the recording being added
    QString mBasePath;           // the open dialog's folder, with a trailing slash
    QList<Pending> mPending;     // asked for, in order, not yet listed
    QHash<quint64, Addition> mAdditions; // by number, those not yet reported
    quint64 mLastAddition = 0;
    int mBatchTotal = 0;         // files asked for since the list was last idle, for the progress bar
};
