#include "formfilelist.h"
#include "ui_formfilelist.h"

#include "droppedrecordings.h"
#include "filelistprober.h"
#include "playliststep.h"
#include "recordingcollector.h"
#include "sqloperate.h"

#include <QDir>

#include <algorithm>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QStyleOption>
#include <QTextDocument>
#include <QTableWidgetItem>

namespace {

constexpr int kColumnsWidth = 300;        // px, name and length together
constexpr int kDurationColumnWidth = 50;  // px, at least: "mm:ss"
constexpr int kCellMargins = 12;          // px, both sides of a cell's text
constexpr int kProgressFrom = 4;          // files added at once before the progress bar shows
constexpr int kPathRole = Qt::UserRole;      // the full path, on the name item
constexpr int kKeyRole = Qt::UserRole + 1;   // the path as compared for duplicates
constexpr int kTipRole = Qt::UserRole + 2;   // the tip's plain text, before the GPS line
constexpr int kTrackRole = Qt::UserRole + 3; // 1 a GPS track, 0 none; unset until played

} // namespace

FormFileList::FormFileList(QWidget *parent, const QString &databaseFolder, const QString &connectionName)
    : QWidget(parent)
    , ui(new Ui::FormFileList)
{
    registerFileListInfo();
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    installEventFilter(this);
    setAcceptDrops(true);
    QHeaderView *header = ui->tableWidget->horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    // The length column holds a recording of hours whole, in the font the
    // style sheet gives the table; the name is cut instead.
    ui->tableWidget->ensurePolished();
    const int durationWidth =
        qMax(kDurationColumnWidth,
             QFontMetrics(ui->tableWidget->font()).horizontalAdvance(QStringLiteral("00:00:00")) + kCellMargins);
    ui->tableWidget->setColumnWidth(0, kColumnsWidth - durationWidth);
    ui->tableWidget->setColumnWidth(1, durationWidth);

    mProber = new FileListProber(this);
    connect(mProber, &FileListProber::sig_Probed, this, &FormFileList::slotProbed);
    mCollector = new RecordingCollector(this);
    connect(mCollector, &RecordingCollector::sig_Collected, this, &FormFileList::slotCollected);

    mDatabase = new sqloperate(databaseFolder.isEmpty() ? sqloperate::defaultFolder() : databaseFolder,
                               connectionName);
    mDatabase->openDatabase();
}

FormFileList::~FormFileList()
{
    delete mDatabase;
    delete ui;
}

void FormFileList::retranslateUi()
{
    ui->retranslateUi(this);
    showProgress();
}

void FormFileList::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void FormFileList::paintEvent(QPaintEvent *event)
{
    // A plain QWidget draws no style-sheet border of its own.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QWidget::paintEvent(event);
}

void FormFileList::setBasePath(const QString &path)
{
    mBasePath = path;
}

int FormFileList::rowCount() const
{
    return ui->tableWidget->rowCount();
}

int FormFileList::pendingCount() const
{
    return mPending.size() + mCollector->pending();
}

QStringList FormFileList::files() const
{
    QStringList paths;
    for (int row = 0; row < ui->tableWidget->rowCount(); ++row)
        paths.append(ui->tableWidget->item(row, 0)->data(kPathRole).toString());
    return paths;
}

QString FormFileList::samePathKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

int FormFileList::listedRow(const QString &key) const
{
    for (int row = 0; row < ui->tableWidget->rowCount(); ++row) {
        if (ui->tableWidget->item(row, 0)->data(kKeyRole).toString() == key)
            return row;
    }
    return -1;
}

// --- adding -------------------------------------------------------------------------

void FormFileList::addFile(const QString &path, bool play)
{
    addFile(path, play, 0);
}

void FormFileList::addFile(const QString &path, bool play, quint64 addition)
{
    mFileInfo.path = path;
    if (path.isEmpty())
        return;
    const QString key = samePathKey(path);
    for (Pending &pending : mPending) {
        if (pending.key == key) {
            pending.play = pending.play || play;
            settle(addition, &AdditionTally::known);
            return;
        }
    }
    const int row = listedRow(key);
    if (row >= 0) {
        settle(addition, &AdditionTally::known, play);
        if (play) {
            selectRow(row);
            announce(row, true);
        }
        return;
    }
    mPending.append(Pending{mProber->probe(path), path, key, play, addition});
    if (mAdditions.contains(addition))
        ++mAdditions[addition].waiting;
    ++mBatchTotal;
    showProgress();
}

void FormFileList::settle(quint64 addition, int AdditionTally::*outcome, bool started)
{
    const auto found = mAdditions.find(addition);
    if (found == mAdditions.end())
        return;
    if (outcome)
        ++(found->tally.*outcome);
    found->started = found->started || started;
}

void FormFileList::release(quint64 addition)
{
    const auto found = mAdditions.find(addition);
    if (found == mAdditions.end() || --found->waiting > 0)
        return;
    const Addition done = *found;
    mAdditions.erase(found);
    // The open list shows its rows, its progress bar and the popup; a lone
    // recording that starts shows its picture. A cut walk shows nowhere else.
    if ((done.lone && done.started) || (isVisible() && !done.tally.cut))
        return;
    emit sig_Status(done.tally.text());
}

void FormFileList::slotProbed(quint64 ticket, FileListInfo info, bool ok)
{
    if (mPending.isEmpty() || mPending.first().ticket != ticket)
        return;
    const Pending added = mPending.takeFirst();
    showProgress();
    mFileInfo = info;
    // Counted before the entry is announced: the window may then wait for
    // a picture, and other reports come in meanwhile.
    const auto released = qScopeGuard([this, added] { release(added.addition); });
    if (!ok) {
        qCDebug(lcFileList) << "get File Property failed!";
        settle(added.addition, &AdditionTally::unplayable);
        emit sig_CannotPlay(added.path, info.problem);
        return;
    }
    QTableWidget *table = ui->tableWidget;
    const int row = table->rowCount();
    mFileInfo.num = row;
    table->insertRow(row);
    auto *name = new QTableWidgetItem(mFileInfo.name);
    name->setData(kPathRole, mFileInfo.path);
    name->setData(kKeyRole, added.key);
    const QString tip = QStringLiteral("%1\n%2  %3 MiB  %4")
                            .arg(QDir::toNativeSeparators(mFileInfo.path), mFileInfo.resolution, mFileInfo.size,
                                 mFileInfo.date);
    name->setData(kTipRole, tip);
    // A tool tip that looks like markup is drawn as markup: a file name is not.
    name->setToolTip(Qt::convertFromPlainText(tip));
    table->setItem(row, 0, name);
    auto *duration = new QTableWidgetItem(mFileInfo.duration);
    duration->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table->setItem(row, 1, duration);
    if (!mDatabase->insertFileInfo(mFileInfo)) {
        // A row without its stored twin would shift every later position.
        table->removeRow(row);
        qCDebug(lcFileList) << "insert failed1";
        qCDebug(lcFileList) << "row removed again:" << mFileInfo.path;
        return;
    }
    qCDebug(lcFileList) << "insert success1";
    settle(added.addition, &AdditionTally::added, added.play);
    emit sig_Listed(mFileInfo.path);
    if (added.play) {
        selectRow(row);
        announce(table->currentRow(), true);
    }
}

void FormFileList::showProgress()
{
    QProgressBar *bar = ui->progressBarAdding;
    if (mPending.isEmpty()) {
        mBatchTotal = 0;
        bar->hide();
        return;
    }
    if (mBatchTotal < kProgressFrom)
        return;
    bar->setRange(0, mBatchTotal);
    bar->setValue(mBatchTotal - mPending.size());
    bar->setFormat(tr("Adding %1 of %2").arg(bar->value() + 1).arg(mBatchTotal));
    bar->show();
}

void FormFileList::addDropped(const QList<QUrl> &urls)
{
    mCollector->collect(droppedPaths(urls), NamedBy::Drop);
}

void FormFileList::addOpened(const QStringList &paths)
{
    mCollector->collect(paths, NamedBy::Launch);
}

void FormFileList::stopAdding()
{
    mCollector->stop();
}

void FormFileList::slotCollected(const DroppedRecordings &found)
{
    const quint64 addition = ++mLastAddition;
    Addition &tally = mAdditions[addition];
    tally.tally.cut = found.cut;
    tally.lone = found.paths.size() == 1 && found.start == 0 && !found.cut;
    tally.waiting = 1; // held open while its paths go in
    for (int i = 0; i < found.paths.size(); ++i)
        addFile(found.paths.at(i), i == found.start, addition);
    release(addition);
}

bool FormFileList::knows(const QString &path) const
{
    const QString key = samePathKey(path);
    return listedRow(key) >= 0
           || std::any_of(mPending.cbegin(), mPending.cend(), [&](const Pending &p) { return p.key == key; });
}

void FormFileList::on_pushButtonAdd_clicked()
{
    chooseFiles(this);
}

void FormFileList::chooseFiles(QWidget *dialogParent)
{
    const QString start = mBasePath.isNull() ? QStringLiteral(".") : mBasePath;
    // A camera's names first; whatever FFmpeg reads may be added all the same.
    addChosenFiles(QFileDialog::getOpenFileNames(
        dialogParent, tr("add file"), start,
        QStringLiteral("(*.flv *.rmvb *.avi *.MP4 *.mov *.ts);;") + tr("All files (*)")));
}

void FormFileList::addChosenFiles(const QStringList &files)
{
    if (files.isEmpty())
        return;
    const QString &first = files.first();
    mBasePath = first.left(first.lastIndexOf(QLatin1Char('/')) + 1);
    qCDebug(lcFileList) << "fileBasePath=" << mBasePath;
    emit sig_SaveBasePath(mBasePath);
    mCollector->collect(files, NamedBy::Dialog);
    if (files.size() == 1)
        hide();
}

// --- choosing, stepping, deleting ---------------------------------------------------

void FormFileList::selectRow(int row)
{
    ui->tableWidget->setCurrentCell(row, 0);
    ui->tableWidget->scrollToItem(ui->tableWidget->item(row, 0));
}

void FormFileList::announce(int row, bool play)
{
    FileListInfo entry;
    if (mDatabase->selectFileInfo(row, entry))
        emit sig_SetFile(entry, play);
}

void FormFileList::selectNextFile()
{
    const int count = rowCount();
    if (count == 0)
        return;
    int row = ui->tableWidget->currentRow() + 1;
    if (row >= count)
        row = 0;
    selectRow(row);
    announce(ui->tableWidget->currentRow(), false);
}

void FormFileList::selectPreviousFile()
{
    const int count = rowCount();
    if (count == 0)
        return;
    int row = ui->tableWidget->currentRow() - 1;
    if (row < 0)
        row = count - 1;
    selectRow(row);
    announce(ui->tableWidget->currentRow(), false);
}

void FormFileList::markTrack(const QString &path, bool hasTrack)
{
    const int row = listedRow(samePathKey(path));
    if (row < 0)
        return;
    QTableWidgetItem *name = ui->tableWidget->item(row, 0);
    name->setData(kTrackRole, hasTrack ? 1 : 0);
    name->setIcon(hasTrack ? QIcon(QStringLiteral(":/image/map_move.png")) : QIcon());
    const QString tip = name->data(kTipRole).toString();
    name->setToolTip(Qt::convertFromPlainText(tip + QLatin1Char('\n') + (hasTrack ? tr("GPS track") : tr("No GPS"))));
}

int FormFileList::trackMark(int row) const
{
    const QTableWidgetItem *name = ui->tableWidget->item(row, 0);
    return name && name->data(kTrackRole).isValid() ? name->data(kTrackRole).toInt() : -1;
}

bool FormFileList::selectPlayable(bool forward, FileListInfo &entry, const QString &playing)
{
    const int playingRow = playing.isEmpty() ? -1 : listedRow(samePathKey(playing));
    const int from = playingRow >= 0 ? playingRow : ui->tableWidget->currentRow();
    const int row = nextPlayableRow(*mDatabase, from, forward, entry);
    if (row < 0)
        return false;
    selectRow(row);
    return true;
}

void FormFileList::on_tableWidget_doubleClicked(const QModelIndex &index)
{
    FileListInfo entry;
    if (!mDatabase->selectFileInfo(index.row(), entry))
        return;
    emit sig_SetFile(entry, true);
    hide();
}

void FormFileList::on_pushButtonDelete_clicked()
{
    const int row = ui->tableWidget->currentRow();
    if (row < 0)
        return;
    const QString path = ui->tableWidget->item(row, 0)->data(kPathRole).toString();
    // The store first: a row it still holds must stay in the table, or
    // every later position would name the next recording.
    if (!mDatabase->deleteFileInfo(row)) {
        qCDebug(lcFileList) << "Delete failed";
        return;
    }
    ui->tableWidget->removeRow(row);
    qCDebug(lcFileList) << "Delete success";
    emit sig_DeleteFile(path);
}

void FormFileList::on_pushButtonQuit_clicked()
{
    hide();
}

// --- window: moving, keys, drops ----------------------------------------------------

bool FormFileList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != this)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        mDragging = false;
        break;
    case QEvent::MouseMove:
        if (mDragging) {
            move(static_cast<QMouseEvent *>(event)->globalPos() - mDragOffset);
            return true;
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !ui->widgetTitle->geometry().contains(mouse->pos()))
            break;
        const QPoint inTitle = ui->widgetTitle->mapFrom(this, mouse->pos());
        for (const QWidget *button : {ui->pushButtonAdd, ui->pushButtonDelete, ui->pushButtonQuit}) {
            if (button->geometry().contains(inTitle))
                return QWidget::eventFilter(watched, event);
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            hide();
            return true;
        }
        if (!isMaximized()) {
            mDragging = true;
            mDragOffset = mouse->globalPos() - frameGeometry().topLeft();
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void FormFileList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        // As in the main window: a held key would flicker between play and pause.
        if (!event->isAutoRepeat())
            emit sig_DetKeySpace();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FormFileList::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FormFileList::dropEvent(QDropEvent *event)
{
    addDropped(event->mimeData()->urls());
}
