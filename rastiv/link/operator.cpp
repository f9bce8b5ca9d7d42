#include "link/operator.hpp"

namespace rastiv {

namespace {

constexpr int kHelpCommunication = 7;

constexpr const char* kTimeoutText =
    "There is a Timeout error sending data to the printer.  Click OK to keep trying.  Click Cancel to stop the "
    "operation.";
constexpr const char* kOutputBufferText =
    "There is an Output Buffer error sending data to the printer.  Click OK to keep trying.  Click Cancel to stop "
    "the operation.";
constexpr const char* kGeneralText =
    "There is an error sending data to the printer.  Click OK to keep trying.  Click Cancel to stop the operation.";
constexpr const char* kOffLineText =
    "The printer has been off-line for quite a while now.  Check the cable and make sure the printer is turned on.";

}  // namespace

QString MessageBoxOperator::sendFailedText(SendProblem problem) {
    switch (problem) {
        case SendProblem::Timeout: return QString::fromLatin1(kTimeoutText);
        case SendProblem::OutputBuffer: return QString::fromLatin1(kOutputBufferText);
        case SendProblem::General: break;
    }
    return QString::fromLatin1(kGeneralText);
}

QString MessageBoxOperator::offLineText() { return QString::fromLatin1(kOffLineText); }

RetryAnswer MessageBoxOperator::sendFailed(SendProblem problem) {
    Message m;
    m.text = sendFailedText(problem);
    m.title = QStringLiteral("Communication Error");
    m.icon = MsgIcon::None;
    m.buttons = MsgButtons::OkCancel;
    m.helpFile = helpFile_;
    m.helpTopic = kHelpCommunication;
    return boxes_.show(m) == MsgResult::Cancel ? RetryAnswer::Stop : RetryAnswer::KeepTrying;
}

void MessageBoxOperator::printerOffLine() {
    Message m;
    m.text = offLineText();
    m.title = QStringLiteral("Communication Warning");
    m.icon = MsgIcon::Exclamation;
    m.helpFile = helpFile_;
    m.helpTopic = kHelpCommunication;
    boxes_.show(m);
}

}  // namespace rastiv
