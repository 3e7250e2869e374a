// Who may do what with the Printer Application: which devices a printer may
// write to, and who administers the server (adds, changes, pauses, holds or
// deletes printers, shuts it down). Printing and job status are open to
// everyone who reaches the server.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include <pappl/pappl.h>

// Whether a server listening on `listen_hostname` (PAPPL's listen-hostname,
// null for every address) can be reached from other machines.
bool reaches_network(const char *listen_hostname);

// Why `uri` is not a device a label printer can be on ("" if it is one):
// only socket://host[:port], usb://, dnssd:// and snmp:// URIs of printable
// ASCII, a host, no user name and no more than 1023 characters.
std::string device_uri_problem(std::string_view uri);

// Whether a printer may be set up on `uri`; logs why not. (PAPPL then
// answers Create-Printer with a client error and skips such a printer of
// the state file.)
bool device_allowed(pappl_system_t *system, const char *uri);

// The user name and password of an HTTP "Authorization: Basic ..." value;
// false unless it is one, well-formed, with a name and no NUL or control
// character in the name.
bool basic_credentials(std::string_view authorization, std::string &user, std::string &password);

// Who administers the server, set from its options before it starts and
// left alone while it runs.
struct access_setup {
    std::string auth_service;  // PAM service for logins over TCP; "" for none
    std::string admin_group = "lpadmin";
    gid_t admin_gid = 0;
    std::string socket_dir;       // holds the local socket; "" for PAPPL's place
};

// The directory that holds the local socket of the server called
// `base_name`: /run/NAME for root (made by the server) and for a service
// that systemd gave that directory (for its `server`, if it is the
// directory's owner); "" otherwise.
std::string local_socket_dir(const std::string &base_name, bool server);

// Points PAPPL's sub-commands and server at the local socket in `dir`
// (before papplMainloop, from main).
void use_local_socket_dir(const std::string &dir);

// Makes `setup.socket_dir` the server's: a real directory of ours (made if
// missing, when root), group the admin group, mode 0750, so that only root,
// the admin group and the server reach the socket. Adds the socket there
// when PAPPL would put it elsewhere (not root). False, with `why`, if it
// can't.
bool guard_local_socket(pappl_system_t *system, const access_setup &setup, const std::string &base_name,
                        std::string &why);

// Lets only administrators administer: on the local socket (PAPPL admits
// everyone there, the directory decides who gets there) and after a PAM
// login of a member of the admin group over TCP; `setup` must outlive the
// server.
void guard_administration(pappl_system_t *system, const access_setup &setup);

// For the app's own pages that change something: whether the client may;
// if not, the page has answered (a login asked for, or how to administer).
bool page_admin_allowed(pappl_client_t *client, const char *title);
