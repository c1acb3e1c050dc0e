#ifndef MODALCHOICE_H
#define MODALCHOICE_H

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// Like answerMessageBoxes, but presses the given buttons in turn (the last again for any further
// box) and returns every box's text: a Yes/No question has no default button to press.
inline QStringList answerMessageBoxesWith(const QList<QMessageBox::StandardButton> &answers, const std::function<void()> &action)
{
    QStringList texts;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            texts << box->text();
            box->button(answers.value(texts.size() - 1, answers.last()))->click();
        }
    });
    poll.start(10);
    action();
    return texts;
}

#endif
