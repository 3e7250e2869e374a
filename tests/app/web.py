#!/usr/bin/python3
"""The Printer Application's web pages in headless Chromium, used as a person
would: fields filled, choices picked, the form's own button pressed (so the
page's session token goes with it).

  web.py add URL NAME HOST:PORT DRIVER
      adds printer NAME of DRIVER (a driver name) on the network printer at
      HOST:PORT through URL/addprinter.
  web.py set URL PAGE SHOT [NAME=VALUE...]
      opens URL/PAGE, sets each form field NAME to VALUE and saves; then
      prints each row of the page's form, its label and value, and keeps a
      screenshot in SHOT.
  web.py press URL PAGE BUTTON
      opens URL/PAGE, presses the form button BUTTON and prints the message
      the page answers with.
"""
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.support.ui import Select, WebDriverWait


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--disable-background-networking", "--no-first-run", "--window-size=1000,1400",
                 "--lang=en-US"):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def fill(page, name, value):
    """Sets a form field as a person would: picks, ticks or types."""
    field = page.find_element(By.NAME, name)
    if field.tag_name == "select":
        Select(field).select_by_value(value)
    elif field.get_attribute("type") == "checkbox":
        if field.is_selected() != (value == "true"):
            field.click()
    else:
        field.clear()
        field.send_keys(value)


def submit(page, button=None):
    """Presses the form's button (the one named BUTTON) and waits for the page
    that answers."""
    old = page.find_element(By.TAG_NAME, "html")
    which = '[value="%s"]' % button if button else ""
    page.find_element(By.CSS_SELECTOR, "form input[type=submit]" + which).click()

    def answered(driver):
        try:
            old.is_enabled()
            return False
        except WebDriverException:  # stale, or no longer in any document
            return driver.execute_script("return document.readyState") == "complete"

    WebDriverWait(page, 60).until(answered)


def add(page, url, name, hostport, driver):
    page.get(url + "/addprinter")
    fill(page, "printer_name", name)
    fill(page, "device_uri", "socket")  # "Network Printer" opens the address field
    fill(page, "hostname", hostport)
    fill(page, "driver_name", driver)
    submit(page)
    if not page.current_url.rstrip("/").endswith("/" + name):
        banner = page.find_elements(By.CLASS_NAME, "banner")
        sys.exit("add printer: still on %s: %s" % (page.current_url, banner[0].text if banner else ""))


def settings(page, url, where, shot, pairs):
    page.get(url + "/" + where)
    if pairs:
        for pair in pairs:
            fill(page, *pair.split("=", 1))
        submit(page)
        banner = page.find_elements(By.CLASS_NAME, "banner")
        if not banner or banner[0].text != "Changes saved.":
            sys.exit("%s: not saved: %s" % (where, banner[0].text if banner else "no message"))
    page.save_screenshot(shot)
    for row in page.find_elements(By.CSS_SELECTOR, "table.form tr"):
        label = row.find_elements(By.TAG_NAME, "th")
        if not label or not label[0].text:
            continue
        value = []
        for field in row.find_elements(By.CSS_SELECTOR, "select, input"):
            kind = field.get_attribute("type")
            if field.tag_name == "select":
                value.append(Select(field).first_selected_option.text)
            elif kind == "checkbox":
                value.append("on" if field.is_selected() else "off")
            elif kind == "radio":
                value += [field.get_attribute("value")] if field.is_selected() else []
            elif kind not in ("submit", "hidden"):
                value.append(field.get_attribute("value"))
        print(label[0].text, " ".join(value))


def main(argv):
    page = browser()
    try:
        if argv[1] == "add" and len(argv) == 6:
            add(page, *argv[2:6])
        elif argv[1] == "press" and len(argv) == 5:
            page.get(argv[2] + "/" + argv[3])
            submit(page, argv[4])
            print(" ".join(b.text for b in page.find_elements(By.CLASS_NAME, "banner")))
        elif argv[1] == "set" and len(argv) >= 5:
            settings(page, argv[2], argv[3], argv[4], argv[5:])
        else:
            sys.exit(__doc__)
    finally:
        page.quit()


if __name__ == "__main__":
    main(sys.argv)
