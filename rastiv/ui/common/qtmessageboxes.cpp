#include "ui/common/qtmessageboxes.hpp"

#include "core/desktop.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace rastiv {

MsgResult QtMessageBoxes::show(const Message& m) {
    for (;;) {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(m.title);
        box.setText(m.text);
        if (!m.informative.isEmpty()) box.setInformativeText(m.informative);
        if (!m.details.isEmpty()) box.setDetailedText(m.details);
        switch (m.icon) {
            case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
            case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
            case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
            case MsgIcon::Stop: box.setIcon(QMessageBox::Critical); break;
        }
        const bool askToSave = m.buttons == MsgButtons::SaveDiscardCancel;
        const bool choice = m.buttons == MsgButtons::ChoiceCancel;
        QPushButton* ok = choice      ? box.addButton(m.firstChoice, QMessageBox::AcceptRole)
                          : askToSave ? box.addButton(QMessageBox::Save)
                                      : box.addButton(QMessageBox::Ok);
        QPushButton* other = choice ? box.addButton(m.secondChoice, QMessageBox::ActionRole) : nullptr;
        QPushButton* discard = askToSave ? box.addButton(QMessageBox::Discard) : nullptr;
        QPushButton* cancel = m.buttons != MsgButtons::Ok ? box.addButton(QMessageBox::Cancel) : nullptr;
        QPushButton* help = m.hasHelpButton() ? box.addButton(QMessageBox::Help) : nullptr;
        if (m.helpTopic >= 0) {
            box.setProperty("helpTopic", m.helpTopic);
            box.setProperty("helpFile", m.helpFile);
        }
        // Enter must never throw work away: it saves, or confirms.
        box.setDefaultButton(ok);
        box.setEscapeButton(cancel ? cancel : ok);
        box.exec();
        if (help && box.clickedButton() == help) {
            // QMessageBox closes on every button; show the help and ask again.
            openHelp(desktop_, this, m.helpFile, m.helpTopic);
            continue;
        }
        if (cancel && box.clickedButton() == cancel) return MsgResult::Cancel;
        if (discard && box.clickedButton() == discard) return MsgResult::Discard;
        if (other && box.clickedButton() == other) return MsgResult::Other;
        return askToSave ? MsgResult::Save : MsgResult::Ok;
    }
}

}  // namespace rastiv
