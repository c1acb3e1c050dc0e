#ifndef MODALANSWER_H
#define MODALANSWER_H

#include <QString>
#include <functional>

// Runs action; meanwhile presses the default button of every modal message box that opens and
// returns the text of the first one (empty if none opened).
QString answerMessageBoxes(const std::function<void()> &action);

#endif
