// The printers announced on DNS-SD (through Avahi) by the app itself: each
// printer as an IPP Everywhere service (`_ipp._tcp`, and `_ipps._tcp` when
// the server offers TLS) whose TXT record says what its IPP attributes say.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <pappl/pappl.h>

// A printer as the server holds it: its IPP resource ("/ipp/print/label"),
// its service name, the format of the driver's own printer commands, which
// jobs from the network may not use, and its location (moved, the printer
// is announced anew).
struct dnssd_printer {
    std::string resource, name, own_format, location;
    bool operator==(const dnssd_printer &) const = default;
};

// Where the server answers: the host name Avahi announces, the port, and
// whether TLS is offered.
struct dnssd_server {
    std::string host;
    int port = 0;
    bool tls = false;
};

// The TXT record ("key=value" each) of the printer whose Get-Printer-
// Attributes answer is `attrs`.
std::vector<std::string> dnssd_txt(ipp_t *attrs, const dnssd_printer &printer, const dnssd_server &server);


// The announcements of one server's printers, kept up to date once a second
// until it is destroyed.
struct dnssd_announcer;
struct dnssd_stop {
    void operator()(dnssd_announcer *announcer) const;
};
using dnssd_handle = std::unique_ptr<dnssd_announcer, dnssd_stop>;

// Starts announcing the printers of `system`, which listens on
// `listen_hostname`; null when Avahi is not there to talk to.
dnssd_handle dnssd_start(pappl_system_t *system, const char *listen_hostname);
