#include "ui/picture/frmAdvanced.hpp"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <exception>

#include "ui/common/dialogform.hpp"
#include "core/modGlobal.hpp"
#include "core/numtext.hpp"
#include "core/settings.hpp"

namespace rastiv {

namespace {

constexpr int kHelpTopic = 16;
constexpr int16_t kDefaultSpacing = 128;
// The dialog offers 1 to 254; start-up also keeps a stored 255.
constexpr double kMinOther = 1;
constexpr double kMaxOther = 254;
constexpr int64_t kMaxStored = 255;

}  // namespace

frmAdvanced::frmAdvanced(Env& env, QWidget* parent) : QDialog(parent), env_(env) {
    createControls();
    connectSignals();
    Form_Load();
}

void frmAdvanced::createControls() {
    setUpDialog(*this, "frmAdvanced", QStringLiteral("Advanced Settings"), kHelpTopic, {249, 161});
    Label1 = new QLabel(QStringLiteral("This spacing parameter is used to fine tune the spacing between the bottom "
                                       "logo, the knife cut, and the top logo.  The default setting works well for "
                                       "most logos. "),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 233, 57);
    Label1->setWordWrap(true);
    rbTLS80H = new QRadioButton(QStringLiteral("128"), this);
    rbTLS80H->setObjectName(QStringLiteral("rbTLS80H"));
    rbTLS80H->setGeometry(48, 72, 121, 17);
    rbTLSOther = new QRadioButton(QStringLiteral("Other (1-254)"), this);
    rbTLSOther->setObjectName(QStringLiteral("rbTLSOther"));
    // Room for the caption in today's fonts; the box moves right to make it.
    rbTLSOther->setGeometry(48, 88, 105, 17);
    tbOther = new QLineEdit(this);
    tbOther->setObjectName(QStringLiteral("tbOther"));
    tbOther->setGeometry(156, 86, 41, 21);
    // The box has no caption of its own: it is the value of "Other".
    tbOther->setAccessibleName(QStringLiteral("Other (1-254)"));
    cmdOK = makeButton(this, "cmdOK", QStringLiteral("&OK"), {168, 128, 73, 25});
    cmdOK->setDefault(true);
}

void frmAdvanced::connectSignals() {
    connect(rbTLS80H, &QRadioButton::clicked, this, &frmAdvanced::rbTLS80H_Click);
    connect(rbTLSOther, &QRadioButton::clicked, this, &frmAdvanced::rbTLSOther_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmAdvanced::cmdOK_Click);
    tbOther->installEventFilter(this);
}

void frmAdvanced::internalError(const char* text) {
    tell(env_, QString::fromLatin1(text), QStringLiteral("Rastiv"), MsgIcon::None);
}

void frmAdvanced::Form_Load() {
    loading_ = true;
    try {
        centreOnScreen(*this);
        const double stored = roundHalfEven(leadingNumber(env_.settings.read(Key::TopLogoSpacing, QString())));
        int64_t spacing = clampToInt(stored, INT32_MIN, INT32_MAX);
        if (spacing == 0) spacing = kDefaultSpacing;
        // A value outside 1..255 can only come from a settings file edited
        // while the program runs.  It is shown as it is, but never becomes
        // the spacing: legacy colorization would send it cut to a byte.
        env_.g.gTopLogoSpacing = spacing >= 1 && spacing <= kMaxStored ? int16_t(spacing) : kDefaultSpacing;
        if (spacing == kDefaultSpacing) {
            rbTLS80H->setChecked(true);
            rbTLS80H_Click();
        } else {
            rbTLSOther->setChecked(true);
            rbTLSOther_Click();
            tbOther->setText(QString::number(spacing));
        }
    } catch (const std::exception&) {
        internalError("Internal Error Loading Advanced form");
    }
    loading_ = false;
}

void frmAdvanced::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Activate();
}

void frmAdvanced::Form_Activate() {
    if (rbTLSOther->isChecked()) tbOther->setFocus();
}

bool frmAdvanced::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tbOther && event->type() == QEvent::FocusIn) tbOther_GotFocus();
    return QDialog::eventFilter(watched, event);
}

// After the click that gave the focus has placed the cursor.
void frmAdvanced::tbOther_GotFocus() { QTimer::singleShot(0, tbOther, &QLineEdit::selectAll); }

void frmAdvanced::rbTLS80H_Click() {
    env_.g.gTopLogoSpacing = kDefaultSpacing;
    tbOther->clear();
    tbOther->setEnabled(false);
}

void frmAdvanced::rbTLSOther_Click() {
    tbOther->setEnabled(true);
    tbOther->setText(QStringLiteral("128"));
    if (!loading_) {
        tbOther->setFocus();
        env_.g.gTopLogoSpacing = kDefaultSpacing;
    }
}

// Esc is OK too: the dialog always leaves through a checked value.
void frmAdvanced::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdOK_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmAdvanced::cmdOK_Click() {
    try {
        if (rbTLSOther->isChecked()) {
            const QString typed = tbOther->text();
            const double v = leadingNumber(typed);
            if (!(v >= kMinOther && v <= kMaxOther)) {
                tell(env_,
                     QStringLiteral("The parameter must be in the range 1 to 254.") + QStringLiteral("\r\n") +
                         QStringLiteral("Select a proper value and click OK again."),
                     QStringLiteral("Parameter Error"), MsgIcon::Information, kHelpTopic);
                env_.g.gTopLogoSpacing = kDefaultSpacing;
                tbOther->setText(QStringLiteral("128"));
                tbOther->setFocus();
                return;
            }
            // Stored as typed; start-up reads back the same rounded number.
            env_.settings.write(Key::TopLogoSpacing, typed);
            env_.g.gTopLogoSpacing = int16_t(roundHalfEven(v));
            accept();
        } else if (rbTLS80H->isChecked()) {
            env_.settings.write(Key::TopLogoSpacing, numToText(env_.g.gTopLogoSpacing));
            accept();
        }
    } catch (const std::exception&) {
        internalError("Internal Error Processing Advanced Logo Function");
    }
}

}  // namespace rastiv
