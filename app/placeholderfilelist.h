#pragma once

#include <QWidget>

class QListWidget;

// Stands in for the file list panel: lists what was added and asks the
// window to play an entry.
class PlaceholderFileList : public QWidget
{
    Q_OBJECT

public:
    explicit PlaceholderFileList(QWidget *parent = nullptr);

    // Adds a recording; with play set it becomes the current one and starts.
    void addFile(const QString &path, bool play);
    QStringList files() const;

signals:
    void sig_PlayFile(const QString &path);

private:
    QListWidget *mList;
};
