// What the printer link asks of whoever is at the controls.  SendData waits
// for the printer in steps of five seconds; when a step runs out, the
// operator decides whether it keeps waiting.  The program answers with its
// message boxes (MessageBoxOperator below), the command-line tool from its
// options, writing on standard error.
#pragma once

#include <QString>

#include "link/messages.hpp"

namespace rastiv {

// Which of SendData's three waits ran out.
enum class SendProblem {
    Timeout,       // the printer did not show ready (DSR) in time
    OutputBuffer,  // what was sent before did not leave the output buffer
    General,       // the line did not report its transmit buffer empty
};

enum class RetryAnswer { KeepTrying, Stop };

class Operator {
public:
    virtual ~Operator() = default;
    // A wait of SendData ran out; KeepTrying waits the same time again,
    // Stop abandons the send.
    virtual RetryAnswer sendFailed(SendProblem problem) = 0;
    // After a flash write the printer did not come back on line; the link
    // goes on regardless, so this only informs.
    virtual void printerOffLine() = 0;
};

// The program's answers: the Communication Error box with OK and Cancel,
// and the Communication Warning box, both with the communication help topic.
class MessageBoxOperator final : public Operator {
public:
    // `helpFile` is read at each box, so it may be named after the link is made.
    MessageBoxOperator(MessageBoxes& boxes, const QString& helpFile) : boxes_(boxes), helpFile_(helpFile) {}
    RetryAnswer sendFailed(SendProblem problem) override;
    void printerOffLine() override;

    // The boxes' texts, for a front end that words the same events itself.
    static QString sendFailedText(SendProblem problem);
    static QString offLineText();

private:
    MessageBoxes& boxes_;
    const QString& helpFile_;
};

}  // namespace rastiv
