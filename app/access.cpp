// Who may do what with the Printer Application (see access.h).
//
// PAPPL 1.3.1 leaves administration open in several ways, each met here:
// - papplClientIsAuthorized admits every client of the local socket, and
//   the socket is mode 0777 (httpAddrListen makes it so): the socket is put
//   in a directory only root, the admin group and the server can enter.
// - Over TCP it admits everyone when neither an auth-service nor an auth
//   callback is set, and its own group check takes getgrouplist's count of
//   groups for an error ("Unable to lookup groups"), so that no one gets in:
//   the app's auth callback logs in with PAM and checks the group itself.
// - Its Enable-Printer, Disable-Printer and Cancel-Current-Job check the
//   client as for printing, which is open to all: the auth callback, which
//   PAPPL asks then too, asks for an administrator.
#include "app/access.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t max_uri = 1023;

// Whether `c` is a character a URI may carry as it is.
bool uri_char(char c)
{
    return c > ' ' && c < 0x7f && !std::strchr("\"<>\\^`{|}", c);
}

// Whether the %-escape at `i` is cut short, not hexadecimal, or stands for
// a control character.
bool bad_escape(std::string_view uri, size_t i)
{
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    return i + 2 >= uri.size() || !hex(uri[i + 1]) || !hex(uri[i + 2]) || uri[i + 1] < '2' ||
           (uri[i + 1] == '7' && (uri[i + 2] == 'f' || uri[i + 2] == 'F'));
}

// Why the host[:port] of a URI is not one ("" if it is); `socket` wants a
// plain host name or address, the others may %-escape it.
std::string authority_problem(std::string_view authority, bool socket)
{
    if (authority.find('@') != authority.npos)
        return "has a user name";
    std::string_view host = authority, port;
    if (host.starts_with('[')) {
        const size_t end = host.find(']');
        if (end == host.npos || end < 3 || host.substr(1, end - 1).find_first_not_of("0123456789abcdefABCDEF:.") !=
                                               host.npos)
            return "has a bad IPv6 address";
        port = host.substr(end + 1);
        host = host.substr(0, end + 1);
        if (!port.empty() && !port.starts_with(':'))
            return "has a bad port";
    } else if (const size_t colon = host.find(':'); colon != host.npos) {
        port = host.substr(colon);
        host = host.substr(0, colon);
    }
    if (host.empty())
        return "has no host";
    if (host.size() > 253)
        return "has a bad host name";
    if (socket && !host.starts_with('[') &&
        host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") != host.npos)
        return "has a bad host name";
    if (!port.empty()) {
        port.remove_prefix(1);
        long n = 0;
        for (char c : port)
            n = n > 65535 || c < '0' || c > '9' ? 65536 : n * 10 + (c - '0');
        if (port.empty() || n < 1 || n > 65535)
            return "has a bad port";
    }
    return "";
}

// The value of one base64 digit, or -1.
int base64_value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// `text` decoded from base64 (padded or not); false if it is not base64.
bool base64_decode(std::string_view text, std::string &out)
{
    while (text.ends_with('='))
        text.remove_suffix(1);
    if (text.size() % 4 == 1)
        return false;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const int v = base64_value(c);
        if (v < 0)
            return false;
        bits = (bits << 6) | unsigned(v);
        if ((count += 6) >= 8) {
            count -= 8;
            out.push_back(char((bits >> count) & 0xff));
        }
    }
    return true;
}

// PAM's questions answered with the user's name and password.
int answer_pam(int count, const pam_message **messages, pam_response **responses, void *data)
{
    const auto *login = static_cast<const std::pair<std::string, std::string> *>(data);
    auto *answers = static_cast<pam_response *>(std::calloc(size_t(count), sizeof(pam_response)));
    if (!answers)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; i++) {
        const int style = messages[i]->msg_style;
        if (style == PAM_PROMPT_ECHO_OFF || style == PAM_PROMPT_ECHO_ON)
            answers[i].resp = strdup(style == PAM_PROMPT_ECHO_OFF ? login->second.c_str() : login->first.c_str());
    }
    *responses = answers;
    return PAM_SUCCESS;
}

// Whether PAM's `service` takes the password for the user, and the
// account may log in now; else PAM's word for why not in `why`.
bool pam_login(const std::string &service, const std::string &user, const std::string &password, const char *host,
               std::string &why)
{
    std::pair<std::string, std::string> login{user, password};
    const pam_conv conversation = {answer_pam, &login};
    pam_handle_t *pam = nullptr;
    int status = pam_start(service.c_str(), user.c_str(), &conversation, &pam);
    if (status == PAM_SUCCESS && host)
        status = pam_set_item(pam, PAM_RHOST, host);
    if (status == PAM_SUCCESS)
        status = pam_authenticate(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (status == PAM_SUCCESS)
        status = pam_acct_mgmt(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
    if (status != PAM_SUCCESS)
        why = pam_strerror(pam, status);
    if (pam)
        pam_end(pam, status);
    return status == PAM_SUCCESS;
}

// Whether `user` is in group `gid`, as primary or supplementary group.
// (getgrouplist returns the number of groups, or -1 with the number
// needed in `n`.)
bool user_in_group(const char *user, gid_t gid)
{
    passwd entry, *found = nullptr;
    std::vector<char> strings(16384);
    if (gid == gid_t(-1) || getpwnam_r(user, &entry, strings.data(), strings.size(), &found) != 0 || !found)
        return false;
    if (found->pw_gid == gid)
        return true;
    int n = 32;
    std::vector<gid_t> groups(static_cast<size_t>(n));
    while (getgrouplist(user, found->pw_gid, groups.data(), &n) < 0) {
        if (n <= int(groups.size()) || n > 65536)
            return false;
        groups.resize(size_t(n));
    }
    groups.resize(size_t(n));
    for (gid_t g : groups)
        if (g == gid)
            return true;
    return false;
}

// The operations PAPPL 1.3.1 authorizes as it does printing, against the
// printer's print group (_papplPrinterIsAuthorized in ipp_enable_printer,
// ipp_disable_printer, ipp_cancel_current_job), which are administration.
bool administration_checked_as_printing(ipp_op_t op)
{
    return op == IPP_OP_ENABLE_PRINTER || op == IPP_OP_DISABLE_PRINTER || op == IPP_OP_CANCEL_CURRENT_JOB;
}

// Whether PAPPL, which asks for the admin group when a job's request does
// not come from the job's owner (_papplPrinterIsAuthorized compares the
// login name, "" without a login), is asked about job status, open to all,
// or by the owner named in requesting-user-name, as PAPPL records the owner
// of a job sent without a login.
bool job_status_or_own_job(pappl_client_t *client)
{
    pappl_job_t *job = papplClientGetJob(client);
    if (!job)
        return false;
    const ipp_op_t op = papplClientGetOperation(client);
    if (op == IPP_OP_GET_JOB_ATTRIBUTES || op == IPP_OP_GET_DOCUMENT_ATTRIBUTES || op == IPP_OP_GET_DOCUMENTS)
        return true;
    const char *owner = papplJobGetUsername(job);
    const char *asker = ippGetString(
        ippFindAttribute(papplClientGetRequest(client), "requesting-user-name", IPP_TAG_NAME), 0, nullptr);
    return owner && asker && std::strcmp(owner, asker) == 0;
}

// PAPPL's auth callback, for clients over TCP: to administer (`group` the
// admin group), a PAM login of a member of the group, or none at all when
// no auth-service is set. PAPPL asks for every job too, with the printer's
// print group: none is set, and printing is open; and for a job of another
// user, with the admin group.
http_status_t authorize(pappl_client_t *client, const char *group, gid_t gid, void *data)
{
    const access_setup &setup = *static_cast<const access_setup *>(data);
    if (!group || !*group) {
        if (!administration_checked_as_printing(papplClientGetOperation(client)))
            return HTTP_STATUS_CONTINUE;
        group = setup.admin_group.c_str();
        gid = setup.admin_gid;
    } else if (job_status_or_own_job(client)) {
        return HTTP_STATUS_CONTINUE;
    }
    if (setup.auth_service.empty())
        return HTTP_STATUS_FORBIDDEN;
    const char *field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    std::string user, password, why;
    if (!field || !*field)
        return HTTP_STATUS_UNAUTHORIZED;
    if (!basic_credentials(field, user, password)) {
        papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "Bad or unsupported Authorization header.");
        return HTTP_STATUS_BAD_REQUEST;
    }
    if (!pam_login(setup.auth_service, user, password, papplClientGetHostName(client), why)) {
        papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Login of '%s' refused: %s", user.c_str(), why.c_str());
        return HTTP_STATUS_UNAUTHORIZED;
    }
    if (!user_in_group(user.c_str(), gid)) {
        papplLogClient(client, PAPPL_LOGLEVEL_WARN, "'%s' logged in but is not in group '%s'.", user.c_str(), group);
        return HTTP_STATUS_FORBIDDEN;
    }
    papplLogClient(client, PAPPL_LOGLEVEL_INFO, "Administrator '%s' logged in.", user.c_str());
    return HTTP_STATUS_CONTINUE;
}

}  // namespace

bool reaches_network(const char *listen_hostname)
{
    if (!listen_hostname)
        return true;  // PAPPL then listens on every address
    const std::string_view name = listen_hostname;
    return !(name.starts_with("/") || name == "localhost" || name.starts_with("localhost.") ||
             name.starts_with("127.") || name == "::1" || name == "[::1]");
}

std::string device_uri_problem(std::string_view uri)
{
    if (uri.empty())
        return "The device URI is empty.";
    if (uri.size() > max_uri)
        return "The device URI is longer than 1023 characters.";
    for (size_t i = 0; i < uri.size(); i++)
        if (!uri_char(uri[i]) || (uri[i] == '%' && bad_escape(uri, i)))
            return "The device URI has a space, a control character or a bad %-escape.";
    const size_t colon = uri.find(':');
    const std::string_view scheme = uri.substr(0, colon);
    if (colon == uri.npos || scheme.empty() ||
        scheme.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.") != scheme.npos)
        return "The device URI has no scheme.";
    if (scheme != "socket" && scheme != "usb" && scheme != "dnssd" && scheme != "snmp")
        return "Refused device of scheme " + std::string(scheme) +
               ": only socket, usb, dnssd and snmp devices are printers.";
    std::string_view rest = uri.substr(colon + 1);
    if (!rest.starts_with("//"))
        return "The " + std::string(scheme) + " device URI has no host.";
    rest.remove_prefix(2);
    const size_t end = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, end), path = end == rest.npos ? "" : rest.substr(end);
    if (std::string why = authority_problem(authority, scheme == "socket"); !why.empty())
        return "The " + std::string(scheme) + " device URI " + why + ".";
    if (scheme == "socket" && !path.empty() && path != "/")
        return "A socket device URI is a host and port alone.";
    return "";
}

bool device_allowed(pappl_system_t *system, const char *uri)
{
    const std::string why = device_uri_problem(uri ? uri : "");
    if (!why.empty())
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Printer not set up: %s", why.c_str());
    return why.empty();
}

bool basic_credentials(std::string_view authorization, std::string &user, std::string &password)
{
    if (authorization.size() > 4096 || authorization.size() < 6 || strncasecmp(authorization.data(), "Basic ", 6) != 0)
        return false;
    authorization.remove_prefix(6);
    while (authorization.starts_with(' '))
        authorization.remove_prefix(1);
    std::string decoded;
    if (!base64_decode(authorization, decoded) || decoded.find('\0') != decoded.npos)
        return false;
    const size_t colon = decoded.find(':');
    if (colon == 0 || colon == decoded.npos)
        return false;
    user = decoded.substr(0, colon);
    password = decoded.substr(colon + 1);
    for (char c : user)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7f)
            return false;
    return true;
}

std::string local_socket_dir(const std::string &base_name, bool server)
{
    const std::string dir = "/run/" + base_name;
    struct stat info;
    if (getuid() == 0 ||
        (lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (!server || info.st_uid == geteuid())))
        return dir;
    return "";
}

void use_local_socket_dir(const std::string &dir)
{
    // PAPPL 1.3.1's sub-commands and server agree on the socket's place in
    // _papplMainloopGetServerPath: /run/NAME.sock for root, right in /run
    // where nothing but the socket's own mode 0777 guards it, and
    // $SNAP_COMMON/NAME.sock when that is set, for root or for another
    // user's command once it finds no server of its own. That is the one way
    // to move it into a directory that keeps others out.
    if (!dir.empty())
        setenv("SNAP_COMMON", dir.c_str(), 1);
}

bool guard_local_socket(pappl_system_t *system, const access_setup &setup, const std::string &base_name,
                        std::string &why)
{
    const char *dir = setup.socket_dir.c_str();
    if (getuid() == 0 && mkdir(dir, 0750) != 0 && errno != EEXIST) {
        why = std::string("Unable to make ") + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (lstat(dir, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
        why = std::string(dir) + " is not a directory of the server's user.";
        return false;
    }
    // Root, the admin group and the server reach the socket; no one else.
    // (A service's directory may have been given to the group already.)
    if ((info.st_gid != setup.admin_gid && chown(dir, geteuid(), setup.admin_gid) != 0) || chmod(dir, 0750) != 0) {
        why = std::string("Unable to give ") + dir + " to group " + setup.admin_group + ": " + std::strerror(errno);
        return false;
    }
    // Not root, PAPPL puts its socket under $TMPDIR: the app adds the one
    // the command line looks for.
    const std::string socket = setup.socket_dir + "/" + base_name + ".sock";
    if (getuid() != 0 && !papplSystemAddListeners(system, socket.c_str())) {
        why = "Unable to listen on " + socket + ".";
        return false;
    }
    return true;
}

void guard_administration(pappl_system_t *system, const access_setup &setup)
{
    papplSystemSetAuthCallback(system, "Basic", authorize, const_cast<access_setup *>(&setup));
}

bool page_admin_allowed(pappl_client_t *client, const char *title)
{
    const http_status_t status = papplClientIsAuthorized(client);
    if (status == HTTP_STATUS_CONTINUE)
        return true;
    if (status != HTTP_STATUS_FORBIDDEN) {
        papplClientRespond(client, status, nullptr, nullptr, 0, 0);
        return false;
    }
    if (!papplClientRespond(client, HTTP_STATUS_FORBIDDEN, nullptr, "text/html", 0, 0))
        return false;
    papplClientHTMLHeader(client, title, 0);
    papplClientHTMLPuts(client,
                        "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">\n"
                        "<h1 class=\"title\">Administrators only</h1>\n"
                        "<p>Printers are added and changed by administrators: on the server's machine with the "
                        "<code>zaridiravid-app</code> command, as root or a member of the admin group; over the "
                        "network after a login, when the server is started with <code>-o auth-service=SERVICE</code> "
                        "(a PAM service) and the user is in the admin group (<code>-o admin-group</code>, "
                        "<code>lpadmin</code> if not set).</p>\n</div></div></div>\n");
    papplClientHTMLFooter(client);
    return false;
}
