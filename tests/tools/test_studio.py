#!/usr/bin/env python3
"""fontbin-studio in a real browser: headless Chromium driven through chromium-driver.

Opens the page, picks a font by its family name, changes size and bit depth, types text, waits
for the preview and checks its pixels against fontbin-inspect's preview of the file that
fontbin writes for the same settings; exports, and compares the exported files byte for byte
with the command line's. Also checks that requests without the token, from another origin or
for another host name are refused, and that the studio ends once its page is closed.

  test_studio.py BIN_DIR [--screenshots DIR] [--bench]

--screenshots writes studio-light.png and studio-dark.png into DIR; --bench prints the preview
latencies for printable ASCII at 32 px and 200 CJK characters at 24 px (bench/studio.sh).
Exits 77 (skipped) with the reason when Chromium, chromium-driver or Selenium is missing.
"""
import http.client
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


def skip(reason):
    print(f"skipped: {reason}")
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.support.ui import Select
except ImportError:
    skip("python3-selenium is not installed")

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
if not CHROMIUM or not os.path.exists(DRIVER):
    skip("chromium and chromium-driver are not installed")

bin_dir = os.path.abspath(sys.argv[1])
shots = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
bench = "--bench" in sys.argv
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def start_studio(work):
    proc = subprocess.Popen([os.path.join(bin_dir, "fontbin-studio"), "FontConfig.json", "--no-browser"],
                            cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    url = line.split()[-1]
    assert url.startswith("http://127.0.0.1:"), line
    return proc, url


def status_of(url, path, headers):
    host_port = url.split("/")[2]
    conn = http.client.HTTPConnection(host_port, timeout=10)
    conn.request("GET", path, headers=headers)
    resp = conn.getresponse()
    resp.read()
    return resp.status


def refusals(url):
    host_port = url.split("/")[2]
    token_path = "/" + url.split("/")[3] + "/api/state"
    cases = [
        ("the page's own request", token_path, {}, 200),
        ("a request without the token", "/api/state", {}, 403),
        ("a request with another token", "/" + "0" * 32 + "/api/state", {}, 403),
        ("a request from a foreign origin", token_path, {"Origin": "http://evil.example"}, 403),
        ("a request for another host name", token_path, {"Host": "localhost:" + host_port.split(":")[1]}, 403),
    ]
    for what, path, headers, expected in cases:
        check(status_of(url, path, headers) == expected, f"{what} gets {expected}")


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    profile = tempfile.mkdtemp(prefix="studio-profile-")
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run",
                "--disable-dev-shm-usage", f"--user-data-dir={profile}", "--window-size=1400,1000"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service(DRIVER), options=options), profile


def wait_for(driver, script, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        value = driver.execute_script(script)
        if value:
            return value
        time.sleep(0.05)
    raise TimeoutError(script)


def set_value(driver, element_id, value):
    """Types into a control as a user does: the page hears the input event."""
    el = driver.find_element("id", element_id)
    el.clear()
    el.send_keys(str(value))


def art(levels, width, height, max_level):
    ramp = ":-=+*%#@"
    rows = []
    for y in range(height):
        row = ""
        for x in range(width):
            v = levels[y * width + x]
            row += "." if v == 0 else "#" if max_level == 1 else ramp[(v * 8 - 1) // max_level]
        rows.append(row)
    return "\n".join(rows) + "\n" if rows else ""


def latest_text(driver):
    return driver.execute_script(
        "const p = studio.previews.paneA; return p && p.text ? "
        "{w: p.text.width, h: p.text.height, levels: Array.from(atob(p.text.levels), c => c.charCodeAt(0)),"
        " max: p.maxLevel} : null")


def main():
    work = tempfile.mkdtemp(prefix="studio-test-")
    proc, url = start_studio(work)
    driver = None
    try:
        refusals(url)
        driver, profile = browser()
        driver.get(url)
        wait_for(driver, "return studio.ready > 0")
        # A font by its family name, as the page lists the installed fonts: by its localised name
        # too.
        set_value(driver, "fontSearch", "文泉驿微米黑")
        options = Select(driver.find_element("id", "fontList")).options
        check(any("WenQuanYi Micro Hei" in o.text for o in options), "the localised name 文泉驿微米黑 finds the font")
        set_value(driver, "fontSearch", "WenQuanYi Micro Hei")
        options = Select(driver.find_element("id", "fontList")).options
        check(any("WenQuanYi Micro Hei" in o.text for o in options), "the font list finds WenQuanYi Micro Hei")
        Select(driver.find_element("id", "fontList")).select_by_index(0)
        set_value(driver, "customerVals", "0x20 95\n0x4E00 256")
        set_value(driver, "fontSize", 20)
        Select(driver.find_element("id", "renderMode")).select_by_visible_text("2")
        text = "Hello, 世上 studio"
        set_value(driver, "text", text)
        set_value(driver, "wrap", 96)
        # The preview of exactly these settings: the last change drawn.
        wait_for(driver, f"return studio.request && studio.request.text === {json.dumps(text)} && "
                         "studio.request.wrap === 96 && studio.request.config.fontSet.fontSize === 20 && "
                         "studio.request.config.fontSet.renderMode === 2")
        shown = latest_text(driver)
        font_value = driver.execute_script("return studio.request.config.fontSet.font")
        check(font_value.startswith("wqy-microhei"), f"the family's file is chosen ({font_value})")

        # An invalid value gets the command line's message next to its control.
        set_value(driver, "gamma", "abc")
        driver.find_element("id", "gammaOn").click()
        # Each key typed redraws, so "a" and "ab" are refused beside it on the way: wait for the
        # value as typed in full.
        script = "return document.querySelector('.msg[data-for=gamma]').textContent"
        try:
            message = wait_for(driver, script + ".includes('gamma = \"abc\"') && " + script[7:])
        except TimeoutError:
            message = driver.execute_script(script)
        check('gamma = "abc" is not a valid number' in message,
              f"an invalid gamma is refused beside it ({message!r})")
        driver.find_element("id", "gammaOn").click()
        set_value(driver, "gamma", "1")

        if shots:
            os.makedirs(shots, exist_ok=True)
            driver.execute_script("document.getElementById('compare').click(); studio.select(0x4E16)")
            wait_for(driver, "return document.getElementById('paneB') && studio.previews.paneB")
            time.sleep(0.5)
            for theme in ("light", "dark"):
                driver.execute_script(f"document.documentElement.dataset.theme = '{theme}'")
                time.sleep(0.2)
                driver.save_screenshot(os.path.join(shots, f"studio-{theme}.png"))
            driver.execute_script("document.getElementById('compare').click()")

        # Export, then the command line on the saved configuration elsewhere.
        driver.execute_script("studio.exported = null")
        driver.find_element("id", "export").click()
        exported = wait_for(driver, "return studio.exported", timeout=60)
        check(exported.get("run", {}).get("status") == 0, f"the export runs fontbin with status 0: {exported}")
        saved = os.path.join(work, "FontConfig.json")
        config = json.load(open(saved, encoding="utf-8"))
        check(config["fontSet"]["fontSize"] == 20 and config["fontSet"]["renderMode"] == 2,
              "the saved configuration holds the chosen size and depth")
        other = tempfile.mkdtemp(prefix="studio-cli-")
        shutil.copy(saved, other)
        cli = subprocess.run([os.path.join(bin_dir, "fontbin"), os.path.join(other, "FontConfig.json")],
                             cwd=other, capture_output=True, text=True)
        check(cli.returncode == 0, "fontbin runs on the saved configuration")
        names = [f["name"] for f in exported["files"]]
        check(any(n.endswith("_font.bin") for n in names), f"the export lists its files: {names}")
        for name in names:
            same = open(os.path.join(work, name), "rb").read() == open(os.path.join(other, name), "rb").read()
            check(same, f"{name} is byte for byte the command line's")

        # The preview's pixels are what fontbin-inspect draws from the exported file.
        font_file = os.path.join(work, next(n for n in names if n.endswith("_font.bin")))
        inspect = subprocess.run([os.path.join(bin_dir, "fontbin-inspect"), font_file, "--text", text,
                                  "--width", "96"], capture_output=True, text=True)
        check(shown is not None and art(shown["levels"], shown["w"], shown["h"], shown["max"]) == inspect.stdout,
              "the preview's pixels are fontbin-inspect's preview of the exported file")

        if bench:
            measure(driver)
        driver.quit()
        driver = None
        shutil.rmtree(profile, ignore_errors=True)
        # Its last page closed, the studio ends by itself.
        try:
            check(proc.wait(timeout=20) == 0, "the studio ends once its page is closed")
        except subprocess.TimeoutExpired:
            check(False, "the studio ends once its page is closed")
    finally:
        if driver:
            driver.quit()
        if proc.poll() is None:
            proc.kill()
    print("failed: " + "; ".join(failures) if failures else "all passed")
    return 1 if failures else 0


def measure(driver):
    """Preview latency, measured in the page from the change to the updated picture."""
    cases = [("printable ASCII at 32 px", "0x20 95", 32, "The quick brown fox"),
             ("200 CJK characters at 24 px", "0x4E00 200", 24, "世上东丝丢两严丧个")]
    for name, ranges, size, text in cases:
        set_value(driver, "customerVals", ranges)
        set_value(driver, "text", text)
        times = []
        for k in range(12):
            target = size if k % 2 == 0 else size - 1
            driver.execute_script("studio.stats = []")
            set_value(driver, "fontSize", target)
            stat = wait_for(driver, f"return studio.stats.length && studio.request.config.fontSet.fontSize === {target}"
                                    " && studio.stats[studio.stats.length - 1]")
            times.append(stat["ms"])
        times.sort()
        print(f"bench: {name}: median {times[len(times) // 2]:.0f} ms, max {times[-1]:.0f} ms "
              f"over {len(times)} changes ({stat['glyphs']} glyphs on the sheet)")


if __name__ == "__main__":
    sys.exit(main())
