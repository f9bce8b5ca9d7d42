#include "app/env.hpp"

#include "app/modGlobal.hpp"
#include "app/numtext.hpp"

namespace rastiv {

QString errorNumber(int32_t status) { return QStringLiteral("Error #") + numToText(status); }

MsgResult tell(const Env& env, const QString& text, const QString& title, MsgIcon icon, int helpTopic,
               MsgButtons buttons, const QString& details) {
    Message m;
    m.text = text;
    m.title = title;
    m.icon = icon;
    m.buttons = buttons;
    m.helpTopic = helpTopic;
    m.helpFile = env.g.gHelpFile;
    m.details = details;
    return env.messages.show(m);
}

void tellNotYetAvailable(const Env& env, const QString& what) {
    tell(env,
         QStringLiteral("%1 is not available in this version of Rastiv yet.  Loading, rotating, resizing and "
                        "saving pictures work; the printer tools will follow.")
             .arg(what),
         QStringLiteral("Not Yet Available"), MsgIcon::Information);
}

}  // namespace rastiv
