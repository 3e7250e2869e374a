// The printers announced on DNS-SD by the app through its own Avahi client.
//
// A timer of the server notes its printers once a second; a thread of the
// announcer asks the server (over loopback IPP) for the attributes of each
// printer that is new or changed, makes the TXT record of the answer and
// updates the printer's Avahi entry group; a printer that is gone is
// withdrawn. The TXT record thus says what a client's Get-Printer-Attributes
// hears. (PAPPL's own announcements are turned off: pappl_fixes.cpp.)
#include "app/dnssd.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

namespace {

// The values of a keyword, MIME type or URI attribute joined by commas,
// without those in `skip`, as many as fit a TXT string of 255 bytes.
std::string joined(ipp_t *attrs, const char *name, size_t room, const std::vector<std::string> &skip = {})
{
    std::string out;
    ipp_attribute_t *attr = ippFindAttribute(attrs, name, IPP_TAG_ZERO);
    for (int i = 0; i < ippGetCount(attr); i++) {
        const char *value = ippGetString(attr, i, nullptr);
        if (!value || std::find(skip.begin(), skip.end(), value) != skip.end())
            continue;
        if (out.size() + std::strlen(value) + 1 > room)
            break;
        out += (out.empty() ? "" : ",") + std::string(value);
    }
    return out;
}

// The string value of an attribute, or "".
std::string text(ipp_t *attrs, const char *name)
{
    const char *value = ippGetString(ippFindAttribute(attrs, name, IPP_TAG_ZERO), 0, nullptr);
    return value ? value : "";
}

}  // namespace

std::vector<std::string> dnssd_txt(ipp_t *attrs, const dnssd_printer &printer, const dnssd_server &server)
{
    // The resource part of the printer's web page (printer-more-info), on
    // the announced host and the scheme the server offers.
    char scheme[32], user[256], host[256], page[1024] = "/", adminurl[1024];
    int port = 0;
    httpSeparateURI(HTTP_URI_CODING_ALL, text(attrs, "printer-more-info").c_str(), scheme, sizeof scheme, user,
                    sizeof user, host, sizeof host, &port, page, sizeof page);
    httpAssembleURI(HTTP_URI_CODING_ALL, adminurl, sizeof adminurl, server.tls ? "https" : "http", nullptr,
                    server.host.c_str(), server.port, page);
    std::string uuid = text(attrs, "printer-uuid");
    if (uuid.starts_with("urn:uuid:"))
        uuid.erase(0, 9);
    ipp_attribute_t *sides = ippFindAttribute(attrs, "sides-supported", IPP_TAG_KEYWORD);
    const bool duplex = ippContainsString(sides, "two-sided-long-edge");
    const bool color = ippGetBoolean(ippFindAttribute(attrs, "color-supported", IPP_TAG_BOOLEAN), 0);

    // Each string is one length byte and "key=value": 255 bytes at most.
    std::vector<std::string> txt = {"txtvers=1", "qtotal=1", "rp=" + printer.resource.substr(1)};
    auto add = [&](const std::string &key, const std::string &value) {
        txt.push_back((key + "=" + value).substr(0, 255));
    };
    add("ty", text(attrs, "printer-make-and-model"));
    add("adminurl", adminurl);
    add("note", text(attrs, "printer-location"));
    add("pdl", joined(attrs, "document-format-supported", 251, {"application/octet-stream", printer.own_format}));
    add("kind", joined(attrs, "printer-kind", 250));
    add("UUID", uuid);
    add("URF", joined(attrs, "urf-supported", 251));
    add("Color", color ? "T" : "F");
    add("Duplex", duplex ? "T" : "F");
    if (server.tls)
        add("TLS", "1.2");
    return txt;
}

// A printer's announcement: the service name it goes by (another one after
// a name collision on the network), its TXT record and Avahi entry group.
struct dnssd_entry {
    dnssd_announcer *owner = nullptr;
    dnssd_printer printer;
    std::string name;
    std::vector<std::string> txt;
    AvahiEntryGroup *group = nullptr;
};

struct dnssd_announcer {
    dnssd_server server;       // host: the system's, until Avahi names one
    std::string connect_host;  // where the thread asks for attributes

    // Between the timer and the thread: the printers, and log lines that
    // the timer writes to the server's log.
    std::mutex lock;
    std::condition_variable wake;
    std::vector<dnssd_printer> printers;
    bool noted = false, stopping = false;
    std::vector<std::string> log;

    // Under the poll's lock.
    AvahiThreadedPoll *poll = nullptr;
    AvahiClient *client = nullptr;
    std::map<std::string, dnssd_entry> entries;  // by resource

    std::thread thread;
};

namespace {

// Keeps a line for the server's log.
void note(dnssd_announcer &a, std::string line)
{
    std::lock_guard hold(a.lock);
    a.log.push_back(std::move(line));
}

void group_changed(AvahiEntryGroup *group, AvahiEntryGroupState state, void *data);

// (Re)publishes an entry's services: IPP, and IPPS when TLS is offered;
// once Avahi runs, else when it does. Under the poll's lock.
void publish(dnssd_entry &e)
{
    dnssd_announcer &a = *e.owner;
    if (!a.client || avahi_client_get_state(a.client) != AVAHI_CLIENT_S_RUNNING)
        return;
    if (e.group)
        avahi_entry_group_reset(e.group);
    else if (!(e.group = avahi_entry_group_new(a.client, group_changed, &e))) {
        note(a, "DNS-SD: " + std::string(avahi_strerror(avahi_client_errno(a.client))));
        return;
    }
    AvahiStringList *txt = nullptr;
    for (auto s = e.txt.rbegin(); s != e.txt.rend(); ++s)
        txt = avahi_string_list_add(txt, s->c_str());
    // The service of a type, found also by the subtypes of printers that
    // print from phones.
    auto add = [&](const std::string &type) {
        const auto any = AvahiPublishFlags(0);
        int error = avahi_entry_group_add_service_strlst(e.group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, any,
                                                         e.name.c_str(), type.c_str(), nullptr, nullptr,
                                                         uint16_t(a.server.port), txt);
        for (const char *sub : {"_print._sub.", "_universal._sub."})
            if (!error)
                error = avahi_entry_group_add_service_subtype(e.group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, any,
                                                              e.name.c_str(), type.c_str(), nullptr,
                                                              (sub + type).c_str());
        return error;
    };
    int error = add("_ipp._tcp");
    if (!error && a.server.tls)
        error = add("_ipps._tcp");
    if (!error)
        error = avahi_entry_group_commit(e.group);
    avahi_string_list_free(txt);
    if (error)
        note(a, "DNS-SD: unable to announce '" + e.name + "': " + avahi_strerror(error));
}

// Another service on the network has the name: the next of "NAME #2",
// "NAME #3"... Avahi calls this with its poll's lock held.
void group_changed(AvahiEntryGroup *, AvahiEntryGroupState state, void *data)
{
    dnssd_entry &e = *static_cast<dnssd_entry *>(data);
    if (state == AVAHI_ENTRY_GROUP_COLLISION) {
        char *other = avahi_alternative_service_name(e.name.c_str());
        note(*e.owner, "DNS-SD: '" + e.name + "' is taken, announcing '" + other + "'.");
        e.name = other;
        avahi_free(other);
        publish(e);
    } else if (state == AVAHI_ENTRY_GROUP_ESTABLISHED)
        note(*e.owner, "DNS-SD: announced '" + e.name + "'.");
}

// The Avahi daemon runs (again): everything is published; it renames its
// host: the announcements wait; it went away: their entry groups went with
// it. Avahi calls this with its poll's lock held.
void client_changed(AvahiClient *client, AvahiClientState state, void *data)
{
    dnssd_announcer &a = *static_cast<dnssd_announcer *>(data);
    a.client = client;  // also called from within avahi_client_new
    if (state == AVAHI_CLIENT_S_RUNNING)
        if (const char *host = avahi_client_get_host_name_fqdn(client))
            a.server.host = host;
    for (auto &[resource, e] : a.entries) {
        if (state == AVAHI_CLIENT_S_RUNNING)
            publish(e);
        else if (e.group && (state == AVAHI_CLIENT_S_REGISTERING || state == AVAHI_CLIENT_S_COLLISION))
            avahi_entry_group_reset(e.group);
        else if (e.group) {
            avahi_entry_group_free(e.group);
            e.group = nullptr;
        }
    }
    if (state == AVAHI_CLIENT_FAILURE)
        note(a, "DNS-SD: " + std::string(avahi_strerror(avahi_client_errno(client))));
}

// The Get-Printer-Attributes answer for the printer at `resource`, asked
// over `http` (connected as needed); null when the server does not answer.
ipp_t *printer_attributes(http_t *&http, const dnssd_announcer &a, const std::string &resource)
{
    static const char *const wanted[] = {"color-supported",   "document-format-supported", "printer-kind",
                                         "printer-location",  "printer-make-and-model",    "printer-more-info",
                                         "printer-uuid",      "sides-supported",           "urf-supported"};
    if (!http)
        http = httpConnect2(a.connect_host.c_str(), a.server.port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                            1, 5000, nullptr);
    if (!http)
        return nullptr;
    char uri[1024];
    httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, a.connect_host.c_str(), a.server.port,
                    resource.c_str());
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)),
                  nullptr, wanted);
    ipp_t *answer = cupsDoRequest(http, request, resource.c_str());
    if (!answer || ippGetStatusCode(answer) > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(answer);
        httpClose(http);
        http = nullptr;
        return nullptr;
    }
    return answer;
}

// The announcer's thread: on each note of the printers, announces those
// new or changed and withdraws those gone. A printer whose attributes the
// server does not give yet is tried again at the next note.
void announce(dnssd_announcer &a)
{
    http_t *http = nullptr;
    for (;;) {
        std::vector<dnssd_printer> printers;
        {
            std::unique_lock hold(a.lock);
            a.wake.wait(hold, [&] { return a.noted || a.stopping; });
            if (a.stopping)
                break;
            a.noted = false;
            printers = a.printers;
        }
        avahi_threaded_poll_lock(a.poll);
        std::erase_if(a.entries, [&](auto &entry) {
            const bool gone = std::none_of(printers.begin(), printers.end(),
                                           [&](const dnssd_printer &p) { return p.resource == entry.first; });
            if (gone && entry.second.group)
                avahi_entry_group_free(entry.second.group);
            return gone;
        });
        const dnssd_server server = a.server;
        avahi_threaded_poll_unlock(a.poll);

        for (const dnssd_printer &p : printers) {
            avahi_threaded_poll_lock(a.poll);
            const auto known = a.entries.find(p.resource);
            const bool same = known != a.entries.end() && known->second.printer == p;
            avahi_threaded_poll_unlock(a.poll);
            if (same)
                continue;
            ipp_t *attrs = printer_attributes(http, a, p.resource);
            if (!attrs)
                continue;
            const std::vector<std::string> txt = dnssd_txt(attrs, p, server);
            ippDelete(attrs);
            avahi_threaded_poll_lock(a.poll);
            dnssd_entry &e = a.entries[p.resource];
            if (e.printer.name != p.name || !e.owner)
                e.name = p.name;
            e.owner = &a, e.printer = p, e.txt = txt;
            publish(e);
            avahi_threaded_poll_unlock(a.poll);
        }
    }
    httpClose(http);
}

// Notes a printer of the server for the announcer.
void note_printer(pappl_printer_t *printer, void *data)
{
    auto &printers = *static_cast<std::vector<dnssd_printer> *>(data);
    char path[1024], name[256], location[256] = "";
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(printer, &driver);
    papplPrinterGetLocation(printer, location, sizeof location);
    dnssd_printer p;
    // PAPPL's web pages of a printer are at /NAME, its IPP service at
    // /ipp/print/NAME.
    p.resource = std::string("/ipp/print") + papplPrinterGetPath(printer, nullptr, path, sizeof path);
    p.name = papplPrinterGetDNSSDName(printer, name, sizeof name) ? name : papplPrinterGetName(printer);
    p.own_format = driver.format ? driver.format : "";
    p.location = location;
    printers.push_back(std::move(p));
}

// Once a second, on the server's main loop: the printers for the thread,
// and the thread's log lines for the server's log.
bool note_printers(pappl_system_t *system, void *data)
{
    dnssd_announcer &a = *static_cast<dnssd_announcer *>(data);
    std::vector<dnssd_printer> printers;
    papplSystemIteratePrinters(system, note_printer, &printers);
    std::vector<std::string> log;
    {
        std::lock_guard hold(a.lock);
        a.printers = std::move(printers);
        a.noted = true;
        log.swap(a.log);
    }
    a.wake.notify_one();
    for (const std::string &line : log)
        papplLog(system, PAPPL_LOGLEVEL_INFO, "%s", line.c_str());
    return true;
}

}  // namespace

void dnssd_stop::operator()(dnssd_announcer *a) const
{
    {
        std::lock_guard hold(a->lock);
        a->stopping = true;
    }
    a->wake.notify_one();
    if (a->thread.joinable())
        a->thread.join();
    if (a->poll)
        avahi_threaded_poll_stop(a->poll);
    if (a->client)
        avahi_client_free(a->client);  // and its entry groups
    if (a->poll)
        avahi_threaded_poll_free(a->poll);
    delete a;
}

dnssd_handle dnssd_start(pappl_system_t *system, const char *listen_hostname)
{
    dnssd_handle a(new dnssd_announcer);
    char host[256] = "localhost";
    papplSystemGetHostName(system, host, sizeof host);
    a->server = {host, papplSystemGetHostPort(system), !(papplSystemGetOptions(system) & PAPPL_SOPTIONS_NO_TLS)};
    a->connect_host = listen_hostname && std::strcmp(listen_hostname, "*") ? listen_hostname : "localhost";
    int error = 0;
    if (!(a->poll = avahi_threaded_poll_new()) ||
        !avahi_client_new(avahi_threaded_poll_get(a->poll), AVAHI_CLIENT_NO_FAIL, client_changed, a.get(), &error) ||
        avahi_threaded_poll_start(a->poll) < 0) {
        papplLog(system, PAPPL_LOGLEVEL_WARN, "DNS-SD: printers are not announced: %s", avahi_strerror(error));
        return nullptr;
    }
    a->thread = std::thread(announce, std::ref(*a));
    papplSystemAddTimerCallback(system, 0, 1, note_printers, a.get());
    return a;
}
