# The Printer Application's server printing to loopback listeners against
# the filter's bytes, against CUPS's IPP Everywhere test suite, through its
# web pages, under load and faults, and installed from the Debian package
# as the printer of a driverless CUPS queue. Each starts a server (lock
# app_server, see CMakeLists.txt) and exits 77 without what it needs.
add_test(NAME app.server_against_filter
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/server_test.sh $<TARGET_FILE:zaridiravid-app>
                 $<TARGET_FILE:zaridiravid> ${ZARIDIRAVID_PPD_DIR})
add_test(NAME app.ipp_everywhere_conformance
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/conformance_test.sh $<TARGET_FILE:zaridiravid-app>)
# The web pages in headless Chromium; the screenshots are kept in the build
# tree's artefacts/.
add_test(NAME app.web_pages_in_a_browser
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/web_test.sh $<TARGET_FILE:zaridiravid-app>
                 ${PROJECT_BINARY_DIR}/artefacts)
# The Debian package that cups.install_and_package builds, installed and
# started as its systemd unit would start it, printing from a driverless
# CUPS queue.
add_test(NAME app.package_in_service COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/service_test.sh
                                             ${PROJECT_BINARY_DIR}/package)
set_tests_properties(app.package_in_service PROPERTIES FIXTURES_REQUIRED debian_package)
# Who may administer, print and add which devices: other local users, a
# second network namespace, a PAM login (root: users, namespaces).
add_test(NAME app.access_control COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/security_test.sh $<TARGET_FILE:zaridiravid-app>)
set_tests_properties(app.server_against_filter app.ipp_everywhere_conformance
                     app.web_pages_in_a_browser app.package_in_service app.access_control
                     PROPERTIES RESOURCE_LOCK app_server TIMEOUT 300 SKIP_RETURN_CODE 77)
add_test(NAME app.load_and_faults COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/load_test.sh $<TARGET_FILE:zaridiravid-app>)
add_test(NAME app.hostile_requests COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/hostile_test.sh $<TARGET_FILE:zaridiravid-app>)
# 200 jobs (2,000 in scripts/sanitize.sh), 20,000 hostile requests; several
# times slower in the sanitizer run.
set_tests_properties(app.load_and_faults app.hostile_requests PROPERTIES RESOURCE_LOCK app_server TIMEOUT 1200 SKIP_RETURN_CODE 77)
# DNS-SD in network and mount namespaces of its own, with its own system
# bus and avahi-daemon (as root).
add_test(NAME app.dnssd_announcements COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dnssd_test.sh $<TARGET_FILE:zaridiravid-app>)
set_tests_properties(app.dnssd_announcements PROPERTIES RESOURCE_LOCK app_server TIMEOUT 300 SKIP_RETURN_CODE 77)
