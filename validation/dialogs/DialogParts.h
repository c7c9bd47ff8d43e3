// Building blocks of TillProbe's small dialogs: the face, coloured buttons
// and black-on-face texts, each named after its control id.
#pragma once

#include "ClrButton.h"
#include "DialogLook.h"
#include "WindowLook.h"

#include <QDialog>
#include <QLabel>

inline void paintProbeDialog(QDialog* dialog, UINT captionId)
{
    dialog->setWindowTitle(dialogText(captionId));
    dialog->setWindowIcon(TillProbeIcon());
    dialog->setAutoFillBackground(true);
    QPalette palette = dialog->palette();
    palette.setColor(QPalette::Window, toQColor(kProbeFace));
    palette.setColor(QPalette::WindowText, Qt::black);
    dialog->setPalette(palette);
}

inline CClrButton* probeButton(QDialog* dialog, const char* id, const QString& text)
{
    auto* button = new CClrButton(text, dialog);
    button->setObjectName(id);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

inline QLabel* probeText(QDialog* dialog, const char* id)
{
    auto* label = new QLabel(dialog);
    label->setObjectName(id);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

inline bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
