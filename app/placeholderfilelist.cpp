#include "placeholderfilelist.h"

#include <QFileInfo>
#include <QListWidget>
#include <QVBoxLayout>

PlaceholderFileList::PlaceholderFileList(QWidget *parent)
    : QWidget(parent)
    , mList(new QListWidget(this))
{
    setObjectName(QStringLiteral("FormFileList"));
    setWindowTitle(tr("FileList"));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setStyleSheet(QStringLiteral("QWidget{background-color: rgb(76, 76, 84); color: rgb(255, 255, 255);}"));
    resize(320, 480);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(mList);
    connect(mList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *item) { emit sig_PlayFile(item->data(Qt::UserRole).toString()); });
}

void PlaceholderFileList::addFile(const QString &path, bool play)
{
    auto *item = new QListWidgetItem(QFileInfo(path).fileName(), mList);
    item->setData(Qt::UserRole, path);
    if (play) {
        mList->setCurrentItem(item);
        emit sig_PlayFile(path);
    }
}

QStringList PlaceholderFileList::files() const
{
    QStringList paths;
    for (int i = 0; i < mList->count(); ++i)
        paths.append(mList->item(i)->data(Qt::UserRole).toString());
    return paths;
}
