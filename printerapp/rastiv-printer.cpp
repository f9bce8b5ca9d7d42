// rastiv-printer: the Tintarex printers as a driverless IPP Everywhere
// printer, on PAPPL.  Any client prints to it without a driver (CUPS through
// `lpadmin -m everywhere`, phones, other systems); PAPPL spools, converts
// JPEG, PNG and PWG raster to sRGB lines, and drives the device (socket://,
// usb://, file://).  Each line goes to the page-to-printer module the CUPS
// filter shares, so both print the same dots for the same pixels.
//
//   rastiv-printer [SUB-COMMAND] [OPTIONS] [FILES]   (PAPPL's sub-commands)
#include <pappl/pappl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>

#include "pageout/pageout.hpp"
#include "printerapp/everywhere.hpp"
#include "printerapp/jobqueue.hpp"
#include "printerapp/serialscheme.hpp"
#include "printerapp/statefile.hpp"
#include "printerapp/testpage.hpp"

namespace {

// ---- The family's drivers: one a paper, the same printer otherwise ----
struct Paper {
    const char* driver;
    const char* description;
    int paperKind;
};
constexpr Paper kPapers[] = {
    {"tintarex_red", "Tintarex two-colour, red paper (black and red)", PIXMILL_PAPER_RED},
    {"tintarex_blue", "Tintarex two-colour, blue paper (black and blue)", PIXMILL_PAPER_BLUE},
    {"tintarex_black", "Tintarex, black only", PIXMILL_PAPER_BLACK_ONLY},
};
pappl_pr_driver_t gDrivers[] = {
    {kPapers[0].driver, kPapers[0].description, nullptr, nullptr},
    {kPapers[1].driver, kPapers[1].description, nullptr, nullptr},
    {kPapers[2].driver, kPapers[2].description, nullptr, nullptr},
};

const Paper* paperOf(const char* driver) {
    for (const Paper& p : kPapers)
        if (driver && !std::strcmp(driver, p.driver)) return &p;
    return nullptr;
}

// ---- The family's settings, as vendor attributes (NAME-default, NAME-supported) ----
constexpr const char* kHighlight = "highlight-treatment";  // photo, graphics, black-only
constexpr const char* kCut = "cut-after";                  // none, page, job
constexpr const char* kFeed = "feed-after-page";           // millimetres
constexpr const char* kDrawer = "cash-drawer";             // never, before, after
constexpr int kMaxFeedMm = 100;

// Roll paper 80 mm wide with 576 dots in its middle (4 mm margins); a page
// is at most this long, and prints only as long as its content.
constexpr int kPaperWidth = 8000;     // hundredths of millimetres
constexpr int kMaxLength = 300000;    // 3 m
constexpr int kSideMargin = 400;
const char* const kRollMax = "roll_max_80x3000mm";
const char* const kRollMin = "roll_min_80x10mm";
const char* const kRollName = "om_receipt_80x3000mm";

// A setting of the job's, else the printer's default ("" when neither has
// it).  PAPPL 1.3.1 leaves options->vendor empty whatever the job or the
// printer's defaults (set on the web page, say) hold, so both are read here.
std::string setting(pappl_job_t* job, const pappl_pr_options_t* options, const char* name) {
    if (const char* value = cupsGetOption(name, options->num_vendor, options->vendor)) return value;
    char value[256] = "";
    if (ipp_attribute_t* attr = papplJobGetAttribute(job, name)) {
        ippAttributeString(attr, value, sizeof value);
        return value;
    }
    ipp_t* defaults = papplPrinterGetDriverAttributes(papplJobGetPrinter(job));  // a copy
    if (ipp_attribute_t* attr = ippFindAttribute(defaults, (std::string(name) + "-default").c_str(), IPP_TAG_ZERO))
        ippAttributeString(attr, value, sizeof value);
    ippDelete(defaults);
    return value;
}

// A page's choices from the job's options (its own, or the printer's defaults).
pageout::Choices choicesOf(pappl_job_t* job, const pappl_pr_options_t* options) {
    pageout::Choices c;
    const Paper* paper = paperOf(papplPrinterGetDriverName(papplJobGetPrinter(job)));
    c.paperKind = paper ? paper->paperKind : PIXMILL_PAPER_RED;
    const std::string highlight = setting(job, options, kHighlight);
    if (highlight == "graphics")
        c.separation.method = rastiv::SeparationMethod::Nearest;
    else if (highlight == "black-only")
        c.paperKind = PIXMILL_PAPER_BLACK_ONLY;
    // printer-darkness-configured 0..100 (50 normal), moved by print-darkness
    // -100..100: the five steps of the CUPS driver's darkness.
    const int level = std::clamp(options->darkness_configured + options->print_darkness, 0, 100);
    c.separation.brightness = pageout::brightnessForDarkness(int(std::lround((level - 50) / 25.0)));
    c.feedDots = pageout::dotsForMillimetres(std::atoi(setting(job, options, kFeed).c_str()));
    const std::string cut = setting(job, options, kCut);
    c.cut = cut.empty() || cut == "job" ? pageout::Cut::Job : cut == "page" ? pageout::Cut::Page : pageout::Cut::None;
    const std::string drawer = setting(job, options, kDrawer);
    c.drawer = drawer == "before"  ? pageout::Drawer::Before
               : drawer == "after" ? pageout::Drawer::After
                                   : pageout::Drawer::Never;
    c.skipBlankStart = true;  // roll media: no paper before the content
    return c;
}

// ---- One job on its device ----
class DeviceSink : public pageout::Sink {
public:
    explicit DeviceSink(pappl_device_t* device) : device_(device) {}
    bool write(const unsigned char* bytes, size_t size) override {
        return papplDeviceWrite(device_, bytes, size) == ssize_t(size);
    }

private:
    pappl_device_t* device_;
};

struct Job {
    explicit Job(pappl_device_t* device) : sink(device), writer(sink) {}
    DeviceSink sink;
    pageout::JobWriter writer;
};

Job* jobOf(pappl_job_t* job) { return static_cast<Job*>(papplJobGetData(job)); }

bool failed(pappl_job_t* job, Job* j) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", j->writer.error().c_str());
    papplJobSetMessage(job, "%s", j->writer.error().c_str());
    return false;
}

// Set on a thread that PAPPL runs for a job another thread prints: its
// callbacks print nothing.
thread_local bool tPrintedElsewhere = false;

bool startJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
    tPrintedElsewhere = !rastiv::printerapp::enterOutput(job);
    if (tPrintedElsewhere) return true;
    rastiv::printerapp::releaseNextJob(papplJobGetPrinter(job));
    rastiv::printerapp::serialJobStarted(device, job);
    papplJobSetData(job, new Job(device));
    return true;
}

bool startPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
    if (tPrintedElsewhere) return true;
    Job* j = jobOf(job);
    const auto& h = options->header;
    const bool grey = h.cupsColorSpace == CUPS_CSPACE_SW || h.cupsColorSpace == CUPS_CSPACE_W;
    const int channels = grey ? 1 : 3;
    if (h.cupsBitsPerColor != 8 || h.cupsBytesPerLine < h.cupsWidth * unsigned(channels)) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u is not 8-bit sRGB or grey raster.", page + 1);
        return false;
    }
    if (h.HWResolution[0] != pageout::kDotsPerInch || h.HWResolution[1] != pageout::kDotsPerInch)
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Page %u is at %ux%u dpi; the printer prints 203 dpi.", page + 1,
                    h.HWResolution[0], h.HWResolution[1]);
    return j->writer.startPage(choicesOf(job, options), int(h.cupsWidth), channels) || failed(job, j);
}

bool writeLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned, const unsigned char* line) {
    if (tPrintedElsewhere) return true;
    Job* j = jobOf(job);
    return j->writer.line(line) || failed(job, j);
}

bool endPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
    if (tPrintedElsewhere) return true;
    Job* j = jobOf(job);
    if (papplJobIsCanceled(job)) return true;  // endJob ends it on the cancel feed
    return j->writer.endPage() || failed(job, j);
}

bool endJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
    if (tPrintedElsewhere) {
        tPrintedElsewhere = false;
        return true;
    }
    std::unique_ptr<Job> j(jobOf(job));
    papplJobSetData(job, nullptr);
    if (!j) {
        rastiv::printerapp::leaveOutput(job);
        return false;
    }
    const bool ok = papplJobIsCanceled(job) ? j->writer.cancel() : j->writer.endJob();
    papplDeviceFlush(device);
    rastiv::printerapp::leaveOutput(job);
    rastiv::printerapp::jobEnding(papplJobGetPrinter(job));
    return ok || failed(job, j.get());
}

// ---- The driver's description ----
void addKeywords(ipp_t* attrs, const char* name, const char* fallback, std::initializer_list<const char*> values) {
    const std::string n(name);
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (n + "-default").c_str(), nullptr, fallback);
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (n + "-supported").c_str(), int(values.size()), nullptr,
                  values.begin());
}

bool driverCallback(pappl_system_t*, const char* driver, const char*, const char*, pappl_pr_driver_data_t* d,
                    ipp_t** attrs, void*) {
    const Paper* paper = paperOf(driver);
    if (!paper) return false;
    d->rstartjob_cb = startJob;
    d->rstartpage_cb = startPage;
    d->rwriteline_cb = writeLine;
    d->rendpage_cb = endPage;
    d->rendjob_cb = endJob;
    d->status_cb = rastiv::printerapp::serialPrinterStatus;
    d->testpage_cb = rastiv::printerapp::writeTestPage;

    std::snprintf(d->make_and_model, sizeof d->make_and_model, "%s", paper->description);
    d->kind = pappl_kind_t(PAPPL_KIND_RECEIPT | PAPPL_KIND_ROLL);
    d->ppm = 10;  // a 100 mm receipt at the printer's usual speed
    // Any value says "color-supported": clients (CUPS's queues) then send
    // colour for the highlight ink, not grey.
    d->ppm_color = paper->paperKind == PIXMILL_PAPER_BLACK_ONLY ? 0 : d->ppm;
    d->orient_default = IPP_ORIENT_PORTRAIT;  // a receipt runs down the roll: never turned
    d->color_supported =
        pappl_color_mode_t(PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME);
    d->color_default =
        paper->paperKind == PIXMILL_PAPER_BLACK_ONLY ? PAPPL_COLOR_MODE_MONOCHROME : PAPPL_COLOR_MODE_COLOR;
    d->content_default = PAPPL_CONTENT_AUTO;
    d->quality_default = IPP_QUALITY_NORMAL;
    d->scaling_default = PAPPL_SCALING_AUTO;
    // 8-bit lines only: the separator makes the dots, never PAPPL's dither.
    d->raster_types = pappl_raster_type_t(PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8);
    d->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
    d->duplex = PAPPL_DUPLEX_NONE;
    d->sides_supported = PAPPL_SIDES_ONE_SIDED;
    d->sides_default = PAPPL_SIDES_ONE_SIDED;
    d->finishings = PAPPL_FINISHINGS_NONE;
    d->num_resolution = 1;
    d->x_resolution[0] = d->y_resolution[0] = pageout::kDotsPerInch;
    d->x_default = d->y_default = pageout::kDotsPerInch;
    d->left_right = kSideMargin;
    d->bottom_top = 0;

    // The longest receipt as a size of its own, beside the roll's range: CUPS
    // makes no queue (`lpadmin -m everywhere`) for a printer without one.
    d->num_media = 3;
    d->media[0] = kRollMax;
    d->media[1] = kRollMin;
    d->media[2] = kRollName;
    d->num_source = 1;
    d->source[0] = "main-roll";
    pappl_media_col_t roll{};
    roll.size_width = kPaperWidth;
    roll.size_length = kMaxLength;
    roll.left_margin = roll.right_margin = kSideMargin;
    std::snprintf(roll.size_name, sizeof roll.size_name, "%s", kRollName);
    std::snprintf(roll.source, sizeof roll.source, "main-roll");
    std::snprintf(roll.type, sizeof roll.type, "continuous");
    roll.tracking = PAPPL_MEDIA_TRACKING_CONTINUOUS;
    d->media_default = d->media_ready[0] = roll;
    d->tracking_supported = PAPPL_MEDIA_TRACKING_CONTINUOUS;
    d->num_type = 1;
    d->type[0] = "continuous";

    d->darkness_supported = 5;
    d->darkness_configured = 50;
    d->darkness_default = 0;

    d->num_vendor = 4;
    d->vendor[0] = kHighlight;
    d->vendor[1] = kCut;
    d->vendor[2] = kFeed;
    d->vendor[3] = kDrawer;
    if (!*attrs) *attrs = ippNew();
    addKeywords(*attrs, kHighlight, paper->paperKind == PIXMILL_PAPER_BLACK_ONLY ? "black-only" : "photo",
                {"photo", "graphics", "black-only"});
    addKeywords(*attrs, kCut, "job", {"none", "page", "job"});
    addKeywords(*attrs, kDrawer, "never", {"never", "before", "after"});
    ippAddInteger(*attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "feed-after-page-default", 0);
    ippAddRange(*attrs, IPP_TAG_PRINTER, "feed-after-page-supported", 0, kMaxFeedMm);
    // What IPP Everywhere clients ask for and PAPPL 1.3 leaves out, where it
    // is true of this printer: no colour management (the separator takes
    // sRGB as it is), one side, and no preferred values to offer.
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    everywhere::describe(d, attrs);
    return true;
}

// A printer found on a device is one of ours only when asked by name: the
// family does not answer IEEE 1284 device IDs of its own.
const char* autoAdd(const char*, const char*, const char* deviceId, void*) {
    return deviceId && std::strstr(deviceId, "MDL:Tintarex") ? kPapers[0].driver : nullptr;
}

void printerCreated(pappl_printer_t* printer, void*) {
    const Paper* paper = paperOf(papplPrinterGetDriverName(printer));
    everywhere::printerCreated(printer, !paper || paper->paperKind != PIXMILL_PAPER_BLACK_ONLY);
}

// ---- The server ----
// PAPPL's own server options, and one change: with -o spool-directory=DIR
// the printers and their settings are kept in DIR too, so that a private
// instance (a test's, a second one beside the system's) neither reads nor
// overwrites the state of another.
pappl_system_t* makeSystem(int numOptions, cups_option_t* options, void*) {
    const char* value = cupsGetOption("log-level", numOptions, options);
    pappl_loglevel_t level = PAPPL_LOGLEVEL_WARN;
    constexpr std::pair<const char*, pappl_loglevel_t> kLevels[] = {{"fatal", PAPPL_LOGLEVEL_FATAL},
                                                                    {"error", PAPPL_LOGLEVEL_ERROR},
                                                                    {"warn", PAPPL_LOGLEVEL_WARN},
                                                                    {"info", PAPPL_LOGLEVEL_INFO},
                                                                    {"debug", PAPPL_LOGLEVEL_DEBUG}};
    for (const auto& [name, l] : kLevels)
        if (value && !std::strcmp(value, name)) level = l;
    unsigned soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_TLS;
    constexpr std::pair<const char*, unsigned> kAdd[] = {
        {"dnssd-host", PAPPL_SOPTIONS_DNSSD_HOST}, {"raw-socket", PAPPL_SOPTIONS_RAW_SOCKET},
        {"usb-printer", PAPPL_SOPTIONS_USB_PRINTER}, {"web-log", PAPPL_SOPTIONS_WEB_LOG},
        {"web-network", PAPPL_SOPTIONS_WEB_NETWORK}, {"web-remote", PAPPL_SOPTIONS_WEB_REMOTE},
        {"web-security", PAPPL_SOPTIONS_WEB_SECURITY}};
    if (const char* list = cupsGetOption("server-options", numOptions, options)) {
        for (std::string rest = list; !rest.empty();) {
            const size_t comma = rest.find(',');
            const std::string word = rest.substr(0, comma);
            rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
            if (word == "none") soptions = PAPPL_SOPTIONS_NONE;
            if (word == "no-multi-queue") soptions &= ~unsigned(PAPPL_SOPTIONS_MULTI_QUEUE);
            if (word == "no-web-interface") soptions &= ~unsigned(PAPPL_SOPTIONS_WEB_INTERFACE);
            if (word == "no-tls") soptions = (soptions | PAPPL_SOPTIONS_NO_TLS) & ~unsigned(PAPPL_SOPTIONS_WEB_TLS);
            for (const auto& [name, bit] : kAdd)
                if (word == name) soptions |= bit;
        }
    }
    int port = 0;
    if ((value = cupsGetOption("server-port", numOptions, options))) {
        char* end = nullptr;
        const long n = std::strtol(value, &end, 10);
        if (*end || n < 0 || n > 65535) {
            std::fprintf(stderr, "rastiv-printer: Bad 'server-port' value.\n");
            return nullptr;
        }
        port = int(n);
    }
    const char* spool = cupsGetOption("spool-directory", numOptions, options);
    std::string fallback;
    if (!spool) {  // where PAPPL puts it
        const char* home = std::getenv("HOME");
        fallback = getuid() == 0 ? "/var/spool/rastiv-printer"
                   : home        ? std::string(home) + "/.config/rastiv-printer.d"
                                 : std::string(papplGetTempDir()) + "/rastiv-printer" + std::to_string(getuid()) + ".d";
        spool = fallback.c_str();
    }
    pappl_system_t* system =
        papplSystemCreate(pappl_soptions_t(soptions), "rastiv-printer", port, "_print,_universal", spool,
                          cupsGetOption("log-file", numOptions, options), level,
                          cupsGetOption("auth-service", numOptions, options), false);
    if (!system) return nullptr;
    // PAPPL 1.3 looks the footer up in its translations on every web page and
    // crashes on none.
    papplSystemSetFooterHTML(system, "Rastiv printer application for Tintarex printers");
    if ((value = cupsGetOption("admin-group", numOptions, options))) papplSystemSetAdminGroup(system, value);
    if ((value = cupsGetOption("server-hostname", numOptions, options))) papplSystemSetHostName(system, value);
    papplSystemAddListeners(system, cupsGetOption("listen-hostname", numOptions, options));
    papplSystemSetPrinterDrivers(system, int(std::size(gDrivers)), gDrivers, autoAdd, printerCreated,
                                 driverCallback, nullptr);
    static std::string state;  // the save callback keeps the pointer for the server's life
    if (cupsGetOption("spool-directory", numOptions, options)) {
        state = std::string(spool) + "/rastiv-printer.state";
        if (!rastiv::printerapp::holdUnfinishedJobs(state))
            papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unable to put unfinished jobs back in '%s'.", state.c_str());
        papplSystemLoadState(system, state.c_str());
        papplSystemSetSaveCallback(
            system,
            [](pappl_system_t* s, void* file) {
                return rastiv::printerapp::saveState(s, *static_cast<const std::string*>(file));
            },
            &state);
    }
    rastiv::printerapp::keepJobsInOrder(system, state);
    return system;
}

// ---- `devices`, without DNS-SD when no Avahi daemon runs ----
// PAPPL 1.3 browses DNS-SD for `devices` whatever happens, and Avahi's
// client library aborts the process when its daemon is not there.

bool avahiRuns() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", "/run/avahi-daemon/socket");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return up;
}

// The sub-command PAPPL would run: the first argument that is neither an
// option nor an option's value.
std::string subCommand(int argc, char* argv[], bool& verbose) {
    std::string found;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() == 2 && arg[0] == '-' && std::strchr("djmnouv", arg[1]) && i + 1 < argc) {
            verbose |= arg == "-o" && std::strncmp(argv[i + 1], "verbose", 7) == 0;
            ++i;
        } else if (arg[0] != '-' && found.empty()) {
            found = arg;
        }
    }
    return found;
}

// PAPPL's listing: each device's URI, and with -o verbose its description
// and IEEE 1284 device ID below it.
int listDevices(bool verbose) {
    unsigned types = PAPPL_DEVTYPE_ALL;
    if (!avahiRuns()) types &= ~unsigned(PAPPL_DEVTYPE_DNS_SD);
    papplDeviceList(
        pappl_devtype_t(types),
        [](const char* info, const char* uri, const char* id, void* data) {
            std::printf("%s\n", uri);
            if (*static_cast<bool*>(data)) {
                if (info && *info) std::printf("    %s\n", info);
                if (id && *id) std::printf("    %s\n", id);
            }
            return false;
        },
        &verbose, [](const char* message, void*) { std::fprintf(stderr, "rastiv-printer: %s\n", message); }, nullptr);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The serial scheme's link runs on Qt threads, which need the application object.
    QCoreApplication app(argc, argv);
    rastiv::printerapp::registerSerialScheme();
    bool verbose = false;
    if (subCommand(argc, argv, verbose) == "devices") return listDevices(verbose);
    return papplMainloop(argc, argv, "1.0.0", nullptr, int(std::size(gDrivers)), gDrivers, autoAdd, driverCallback,
                         nullptr, nullptr, makeSystem, nullptr, nullptr);
}
