#include "modalanswer.h"

#include "modalchoice.h"

QString answerMessageBoxes(const std::function<void()> &action)
{
    return answerMessageBoxesWith({}, action).value(0);
}
