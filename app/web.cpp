// The Printer Application's own parts of PAPPL's web interface: the texts of
// the vendor settings, the Add Printer page and each printer's Label Handling
// page (PAPPL 1.3 has no page for label-mode-configured).
//
// PAPPL 1.3's own Add Printer page asks Avahi for DNS-SD printers whether or
// not Avahi can answer: without the system message bus the server aborts,
// and without Avahi's daemon it keeps Avahi's lock, so that the next printer
// added hangs the server. It also takes no port but 9100. This page asks
// DNS-SD only when Avahi's daemon answers, and takes "host" or "host:port".
#include "app/web.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/access.h"
#include "app/ipp_settings.h"

namespace {

// Whether a Unix socket at `path` takes a connection.
bool socket_answers(std::string_view path)
{
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answers = fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    if (fd >= 0)
        close(fd);
    return answers;
}

// Whether Avahi can look for printers: the system message bus and Avahi's
// daemon both answer.
bool dnssd_answers()
{
    std::string_view bus = "/run/dbus/system_bus_socket";
    if (const char *address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
        const std::string_view a = address, unix_path = "unix:path=";
        bus = a.starts_with(unix_path) ? a.substr(unix_path.size(), a.find(',') - unix_path.size()) : "";
    }
    return socket_answers(bus) && socket_answers("/run/avahi-daemon/socket");
}

// Lists a found printer as a choice of the device menu. What it says of
// itself (over USB, SNMP or DNS-SD) is escaped: anyone on the network can
// answer.
bool list_device(const char *info, const char *uri, const char *device_id, void *data)
{
    auto *client = static_cast<pappl_client_t *>(data);
    const std::string value = std::string(uri) + "|" + (device_id ? device_id : "");
    papplClientHTMLPuts(client, "<option value=\"");
    papplClientHTMLEscape(client, value.c_str(), 0);
    papplClientHTMLPuts(client, "\">");
    papplClientHTMLEscape(client, info, 0);
    papplClientHTMLPuts(client, "</option>");
    return false;
}

void log_device_error(const char *message, void *data)
{
    papplLog(static_cast<pappl_system_t *>(data), PAPPL_LOGLEVEL_WARN, "Looking for printers: %s", message);
}

// The device URI for a "host" or "host:port" (port 9100 if none; an IPv6
// address in brackets), or "" if it is not one.
std::string socket_uri(std::string_view address)
{
    std::string host(address), port = "9100";
    if (const size_t colon = host.rfind(':'); colon != host.npos && host.find(']', colon) == host.npos) {
        port = host.substr(colon + 1);
        host.erase(colon);
    }
    char *end = nullptr;
    const long n = std::strtol(port.c_str(), &end, 10);
    if (host.empty() || port.empty() || *end || n < 1 || n > 65535 ||
        host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_[]:") != host.npos ||
        (host.find(':') != host.npos && (host.front() != '[' || host.back() != ']')))
        return "";
    return "socket://" + host + ":" + std::to_string(n);
}

// Adds the printer the form asks for; "" when added (the page has then
// answered), else why not.
std::string add_from_form(pappl_client_t *client, const driver_list &drivers)
{
    cups_option_t *form = nullptr;
    const int n = papplClientGetForm(client, &form);
    auto value = [&](const char *name) {
        const char *v = cupsGetOption(name, n, form);
        return std::string(v ? v : "");
    };
    std::string why;
    const std::string name = value("printer_name"), driver = value("driver_name");
    std::string uri = value("device_uri"), device_id;
    if (const size_t bar = uri.find('|'); bar != uri.npos) {
        device_id = uri.substr(bar + 1);
        uri.erase(bar);
    }
    if (uri == "socket")
        uri = socket_uri(value("hostname"));
    bool known_driver = false;
    for (const pappl_pr_driver_t &d : drivers.drivers)
        known_driver |= driver == d.name;

    if (n == 0 || !papplClientIsValidForm(client, n, form))
        why = "Invalid form submission.";
    else if (name.empty())
        why = "Please enter a printer name.";
    else if (uri.empty() || !papplDeviceIsSupported(uri.c_str()))
        why = "Please select a device, or enter the printer's address as host or host:port.";
    else if (!known_driver)
        why = "Please select a driver.";
    else
        why = device_uri_problem(uri);
    cupsFreeOptions(n, form);
    if (!why.empty())
        return why;

    pappl_system_t *system = papplClientGetSystem(client);
    pappl_printer_t *printer = papplPrinterCreate(system, 0, name.c_str(), driver.c_str(),
                                                  device_id.empty() ? nullptr : device_id.c_str(), uri.c_str());
    if (!printer) {
        switch (errno) {
        case EEXIST: return "A printer with that name already exists.";
        case EINVAL: return "Printer names must start with a letter or underscore and cannot contain special characters.";
        default: return "Unable to add the printer.";
        }
    }
    char path[256];
    papplClientRespondRedirect(client, HTTP_STATUS_FOUND, papplPrinterGetPath(printer, nullptr, path, sizeof path));
    return "";
}

// The Add Printer page: a name, a found device or an address, a driver.
bool add_printer_page(pappl_client_t *client, void *data)
{
    const driver_list &drivers = *static_cast<const driver_list *>(data);
    if (!page_admin_allowed(client, "Add Printer"))
        return true;
    std::string why;
    if (papplClientGetMethod(client) == HTTP_STATE_POST && (why = add_from_form(client, drivers)).empty())
        return true;

    if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0))
        return false;
    papplClientHTMLHeader(client, "Add Printer", 0);
    papplClientHTMLPuts(client, "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">\n"
                                "<h1 class=\"title\">Add Printer</h1>\n");
    if (!why.empty()) {
        papplClientHTMLPuts(client, "<div class=\"banner\">");
        papplClientHTMLEscape(client, why.c_str(), 0);
        papplClientHTMLPuts(client, "</div>\n");
    }
    papplClientHTMLStartForm(client, papplClientGetURI(client), false);
    papplClientHTMLPuts(client,
                        "<table class=\"form\"><tbody>\n"
                        "<tr><th><label for=\"printer_name\">Name:</label></th><td><input type=\"text\" "
                        "name=\"printer_name\" id=\"printer_name\" placeholder=\"Name of printer\" required></td></tr>\n"
                        "<tr><th><label for=\"device_uri\">Device:</label></th><td><select name=\"device_uri\" "
                        "id=\"device_uri\"><option value=\"socket\">Network printer at the address below</option>");
    const bool dnssd = dnssd_answers();
    const auto types = pappl_devtype_t(dnssd ? PAPPL_DEVTYPE_ALL : PAPPL_DEVTYPE_ALL & ~PAPPL_DEVTYPE_DNS_SD);
    papplDeviceList(types, list_device, client, log_device_error, papplClientGetSystem(client));
    papplClientHTMLPuts(client,
                        "</select></td></tr>\n"
                        "<tr><th><label for=\"hostname\">Address:</label></th><td><input type=\"text\" "
                        "name=\"hostname\" id=\"hostname\" placeholder=\"host or host:port (port 9100 if none)\">"
                        "</td></tr>\n"
                        "<tr><th><label for=\"driver_name\">Driver Name:</label></th><td><select "
                        "name=\"driver_name\" id=\"driver_name\"><option value=\"\">Select Driver</option>");
    for (const pappl_pr_driver_t &d : drivers.drivers)
        papplClientHTMLPrintf(client, "<option value=\"%s\">%s</option>", d.name, d.description);
    papplClientHTMLPuts(client, "</select></td></tr>\n"
                                "<tr><th></th><td><input type=\"submit\" value=\"Add Printer\"></td></tr>\n"
                                "</tbody></table></form>\n");
    if (!dnssd)
        papplClientHTMLPuts(client, "<p>Printers announced by DNS-SD are not listed: the system message bus or "
                                    "the Avahi daemon is not running.</p>\n");
    papplClientHTMLPuts(client, "</div></div></div>\n");
    papplClientHTMLFooter(client);
    return true;
}

// How printed labels leave the printer (label-mode-configured), as the page
// offers it.
const struct {
    pappl_label_mode_t mode;
    const char *keyword, *text;
} label_modes[] = {
    {PAPPL_LABEL_MODE_REWIND, "rewind", "Run on (to a rewinder): no cutting, peeling or tearing off"},
    {PAPPL_LABEL_MODE_TEAR_OFF, "tear-off", "Tear off"},
    {PAPPL_LABEL_MODE_PEEL_OFF, "peel-off", "Peel off"},
    {PAPPL_LABEL_MODE_CUTTER, "cutter", "Cut after every N labels"},
    {PAPPL_LABEL_MODE_CUTTER_DELAYED, "cutter-delayed", "Cut at the end of the job"},
};

// Sets the label mode the form asks for; returns the page's message.
const char *save_label_mode(pappl_client_t *client, pappl_printer_t *printer)
{
    cups_option_t *form = nullptr;
    const int n = papplClientGetForm(client, &form);
    const char *keyword = cupsGetOption("label-mode-configured", n, form);
    const char *message = "Invalid form submission.";
    if (n > 0 && papplClientIsValidForm(client, n, form) && keyword) {
        message = "Unknown label mode.";
        for (const auto &m : label_modes)
            if (std::strcmp(keyword, m.keyword) == 0) {
                pappl_pr_driver_data_t data;
                papplPrinterGetDriverData(printer, &data);
                data.mode_configured = m.mode;
                message = papplPrinterSetDriverDefaults(printer, &data, 0, nullptr) ? "Changes saved."
                                                                                    : "Unable to save the changes.";
            }
    }
    cupsFreeOptions(n, form);
    return message;
}

// A printer's Label Handling page: how its labels leave the printer.
bool label_page(pappl_client_t *client, void *data)
{
    auto *printer = static_cast<pappl_printer_t *>(data);
    if (!page_admin_allowed(client, "Label Handling"))
        return true;
    const char *message = papplClientGetMethod(client) == HTTP_STATE_POST ? save_label_mode(client, printer) : nullptr;

    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(printer, &driver);
    papplClientHTMLPrinterHeader(client, printer, "Label Handling", 0, nullptr, nullptr);
    if (message)
        papplClientHTMLPrintf(client, "<div class=\"banner\">%s</div>\n", message);
    papplClientHTMLStartForm(client, papplClientGetURI(client), false);
    papplClientHTMLPuts(client, "<table class=\"form\"><tbody>\n<tr><th><label for=\"label-mode-configured\">"
                                "Label Mode:</label></th><td><select name=\"label-mode-configured\" "
                                "id=\"label-mode-configured\">");
    for (const auto &m : label_modes)
        if (driver.mode_supported & m.mode)
            papplClientHTMLPrintf(client, "<option value=\"%s\"%s>%s</option>", m.keyword,
                                  driver.mode_configured == m.mode ? " selected" : "", m.text);
    papplClientHTMLPuts(client, "</select></td></tr>\n"
                                "<tr><th></th><td><input type=\"submit\" value=\"Save Changes\"></td></tr>\n"
                                "</tbody></table></form>\n");
    papplClientHTMLPrinterFooter(client);
    return true;
}

}  // namespace

void add_web_pages(pappl_system_t *system, const driver_list &drivers)
{
    // PAPPL 1.3's web pages need a footer once a language has texts.
    papplSystemSetFooterHTML(system, "zaridiravid-app " ZARIDIRAVID_VERSION);

    // The vendor settings' names and keywords as the PPDs word them.
    std::string strings;
    const auto pair = [&strings](const char *name, const char *keyword, const char *text) {
        strings.append("\"").append(name).append(keyword ? "." : "").append(keyword ? keyword : "");
        strings.append("\" = \"").append(text).append("\";\n");
    };
    for (const printer_setting &s : printer_settings) {
        if (s.ipp)
            pair(s.ipp, nullptr, vendor_text(s).c_str());
        for (const setting_choice &c : s.kind == setting_kind::keywords && s.ipp ? s.choices : decltype(s.choices){})
            pair(s.ipp, c.ipp, c.text);
    }
    // PAPPL 1.3 adds a strings resource's language to a printer's attributes
    // again on every Get-Printer-Attributes for as long as the resource is
    // there; the texts stay in the web pages' languages once it is removed.
    for (const char *language : {"de", "en", "es", "fr", "it", "ja", "nb-NO", "pl", "tr"}) {
        const std::string path = std::string("/zaridiravid-") + language + ".strings";
        papplSystemAddStringsData(system, path.c_str(), language, strings.c_str());
        papplSystemRemoveResource(system, path.c_str());
    }

    // Ahead of PAPPL's own page, which PAPPL then leaves out.
    papplSystemAddResourceCallback(system, "/addprinter", "text/html", add_printer_page,
                                   const_cast<driver_list *>(&drivers));
}

void add_printer_pages(pappl_printer_t *printer)
{
    char path[256];
    papplPrinterGetPath(printer, "labels", path, sizeof path);
    // PAPPL removes a printer's pages with the printer.
    papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", label_page, printer);
    papplPrinterAddLink(printer, "Label Handling", path,
                        pappl_loptions_t(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_CONFIGURATION));
}
