#!/usr/bin/python3
"""The printer's settings page in a real headless Chromium: hostile values
are refused by name and change nothing, error diffusion and density +05 are
saved, a printed sample carries them, and they are still there after a
restart. Saves screenshots of the settings page in English and Japanese.

Usage: web_test.py APP SERVER_SCRIPT DECODER SAMPLE_PDF SCREENSHOT_DIR"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

APP, SCRIPT, DECODER, SAMPLE, SHOTS = sys.argv[1:6]
failures = []


def check(condition, what):
    print(("ok:     " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


def browser(profile, language):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--window-size=1100,1500",
                 f"--user-data-dir={profile}", f"--lang={language}"]:
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"intl.accept_languages": language})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def printer_attribute(uri, work, name):
    test = os.path.join(work, "get.test")
    with open(test, "w") as f:
        f.write("{\n OPERATION Get-Printer-Attributes\n GROUP operation-attributes-tag\n"
                " ATTR charset attributes-charset utf-8\n"
                " ATTR naturalLanguage attributes-natural-language en\n"
                " ATTR uri printer-uri $uri\n"
                f" ATTR keyword requested-attributes {name}\n STATUS successful-ok\n"
                f" DISPLAY {name}\n}}\n")
    out = subprocess.run(["ipptool", "-t", uri, test], capture_output=True, text=True).stdout
    m = re.search(rf"{re.escape(name)} \([^)]*\) = (.*)", out)
    return m.group(1).strip() if m else None


def print_sample(uri, work, job_name, attributes=""):
    test = os.path.join(work, "print.test")
    with open(test, "w") as f:
        f.write("{\n OPERATION Print-Job\n GROUP operation-attributes-tag\n"
                " ATTR charset attributes-charset utf-8\n"
                " ATTR naturalLanguage attributes-natural-language en\n"
                " ATTR uri printer-uri $uri\n ATTR name requesting-user-name web-test\n"
                f" ATTR name job-name {job_name}\n"
                " ATTR mimeMediaType document-format application/pdf\n"
                f" GROUP job-attributes-tag\n{attributes}"
                " FILE $filename\n STATUS successful-ok\n}\n"
                "{\n OPERATION Get-Job-Attributes\n GROUP operation-attributes-tag\n"
                " ATTR charset attributes-charset utf-8\n"
                " ATTR naturalLanguage attributes-natural-language en\n"
                " ATTR uri printer-uri $uri\n ATTR integer job-id $job-id\n"
                " STATUS successful-ok\n"
                " EXPECT job-state WITH-VALUE 9 REPEAT-NO-MATCH REPEAT-LIMIT 120\n}\n")
    result = subprocess.run(["ipptool", "-q", "-f", SAMPLE, uri, test])
    return result.returncode == 0


def save_form(driver, port, values, script=""):
    """Fills the settings form (name -> value) and saves; the banner text."""
    driver.get(f"http://127.0.0.1:{port}/KT50/printing")
    if script:
        driver.execute_script(script)
    for name, value in values.items():
        element = driver.find_element(By.NAME, name)
        if element.tag_name == "select":
            Select(element).select_by_value(value)
        else:
            driver.execute_script("arguments[0].value = arguments[1];", element, value)
    driver.find_element(By.CSS_SELECTOR, "input[type=submit][value='Save Changes']").click()
    WebDriverWait(driver, 10).until(lambda d: d.find_elements(By.CSS_SELECTOR, ".banner"))
    return driver.find_element(By.CSS_SELECTOR, ".banner").text


def header(stream):
    listing = subprocess.run([DECODER, "--list", stream], capture_output=True, text=True).stdout
    return dict(re.findall(r"^\s*\d+\s+(WRITE_DENSITY|WRITE_SPEED)\s+(-?\d+)", listing, re.M))


def main():
    work = tempfile.mkdtemp(prefix="kt50-web-")
    os.chmod(work, 0o755)
    server = os.path.join(work, "server")
    os.makedirs(server)
    driver = None
    try:
        subprocess.run([SCRIPT, "start", APP, server], check=True)
        port = open(os.path.join(server, "port")).read().strip()
        uri = f"ipp://127.0.0.1:{port}/ipp/print/KT50"
        driver = browser(os.path.join(work, "profile-en"), "en")

        # Hostile values through the form (beyond the page's own limits).
        banner = save_form(driver, port, {"kt50-write-density": "999"},
                           "document.querySelectorAll('input[type=number]')"
                           ".forEach(e => { e.removeAttribute('min'); e.removeAttribute('max'); });"
                           "const s = document.querySelector('select[name=kt50-dot-screening]');"
                           "s.add(new Option('x'.repeat(300), 'x'.repeat(300))); s.value = 'x'.repeat(300);")
        check(banner.startswith("Nothing was saved.") and "kt50-write-density '999'" in banner
              and "kt50-dot-screening" in banner, f"hostile form refused by name: {banner!r}")
        check(printer_attribute(uri, work, "kt50-write-density-default") == "0",
              "density unchanged by the refused form")
        check(printer_attribute(uri, work, "kt50-dot-screening-default") == "threshold",
              "screening unchanged by the refused form")
        check(subprocess.run([SCRIPT, "run", APP, server, "printers"], capture_output=True,
                             text=True).stdout.split() == ["KT50"], "server still serving")

        # The real settings.
        banner = save_form(driver, port, {"kt50-dot-screening": "error-diffusion",
                                          "kt50-write-density": "5"})
        check(banner == "Changes saved.", f"banner {banner!r}")
        driver.get(f"http://127.0.0.1:{port}/KT50/printing")
        driver.save_screenshot(os.path.join(SHOTS, "printer-app-settings-en.png"))
        page = driver.page_source
        check("Dot screening" in page and "Error diffusion" in page and "Write density" in page,
              "English labels on the page")

        check(print_sample(uri, work, "web-defaults"), "sample printed with the saved defaults")
        check(print_sample(uri, work, "web-explicit",
                           " ATTR keyword kt50-dot-screening error-diffusion\n"
                           " ATTR integer kt50-write-density 5\n"), "sample printed with the same values")
        check(print_sample(uri, work, "web-threshold",
                           " ATTR keyword kt50-dot-screening threshold\n"), "sample printed with threshold")
        out = os.path.join(server, "spool", "out")
        defaults = open(os.path.join(out, "web-defaults.kt50"), "rb").read()
        check(header(os.path.join(out, "web-defaults.kt50")).get("WRITE_DENSITY") == "5",
              "job header: write density 5")
        check(defaults == open(os.path.join(out, "web-explicit.kt50"), "rb").read(),
              "stream equals the one printed with error diffusion and density 5 asked by the job")
        check(defaults != open(os.path.join(out, "web-threshold.kt50"), "rb").read(),
              "and differs from the threshold screening")

        # Japanese page.
        driver.quit()
        driver = browser(os.path.join(work, "profile-ja"), "ja")
        driver.get(f"http://127.0.0.1:{port}/KT50/printing")
        driver.save_screenshot(os.path.join(SHOTS, "printer-app-settings-ja.png"))
        check("網点" in driver.page_source and "誤差拡散" in driver.page_source,
              "Japanese labels on the page")

        # After a restart.
        subprocess.run(["sleep", "1.5"])  # the state is saved once a second
        subprocess.run([SCRIPT, "restart", APP, server], check=True)
        check(printer_attribute(uri, work, "kt50-dot-screening-default") == "error-diffusion",
              "screening kept across the restart")
        check(printer_attribute(uri, work, "kt50-write-density-default") == "5",
              "density kept across the restart")
        driver.get(f"http://127.0.0.1:{port}/KT50/printing")
        shown = Select(driver.find_element(By.NAME, "kt50-dot-screening")).first_selected_option
        check(shown.get_attribute("value") == "error-diffusion", "page shows the kept screening")
        check(driver.find_element(By.NAME, "kt50-write-density").get_attribute("value") == "5",
              "page shows the kept density")
    finally:
        if driver:
            driver.quit()
        subprocess.run([SCRIPT, "stop", server])
        shutil.rmtree(work, ignore_errors=True)
    print(f"screenshots: {SHOTS}/printer-app-settings-en.png, {SHOTS}/printer-app-settings-ja.png")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
