#pragma once

#include <QWidget>

// Qt's own dialogs opened over the window (file, input): the window's black
// style sheet would reach them too and hide their texts, so they get plain
// light colours of their own.
inline void givePlainLook(QWidget *dialog)
{
    dialog->setStyleSheet(QStringLiteral(
        "QWidget{background-color: rgb(239,239,239); color: rgb(0,0,0);}"
        "QLineEdit, QAbstractItemView, QComboBox{background-color: rgb(255,255,255); color: rgb(0,0,0);"
        " selection-background-color: rgb(48,140,198); selection-color: rgb(255,255,255);}"));
}
