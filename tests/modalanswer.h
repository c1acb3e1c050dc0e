#ifndef MODALANSWER_H
#define MODALANSWER_H

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

// Runs action; meanwhile answers every modal message box that opens with the given buttons in turn
// (the last again for any further box; with none given, its default button or OK), and returns every
// box's text: a Yes/No question has no default button to press.
inline QStringList answerMessageBoxesWith(const QList<QMessageBox::StandardButton> &answers, const std::function<void()> &action)
{
    QStringList texts;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        texts << box->text();
        QAbstractButton *button = answers.isEmpty() ? box->defaultButton() : box->button(answers.value(texts.size() - 1, answers.last()));
        if (!button)
            button = box->button(QMessageBox::Ok);
        if (button)
            button->click();
        else
            box->accept();
    });
    poll.start(10);
    action();
    return texts;
}

// Presses every box's default button and returns the first box's text (empty if none opened).
inline QString answerMessageBoxes(const std::function<void()> &action) { return answerMessageBoxesWith({}, action).value(0); }

#endif
