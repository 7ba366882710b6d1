#!/usr/bin/env python3
"""fontbin-studio's server without a browser, as the page talks to it: also under Wine.

  test_studio_api.py BIN_DIR HOST_BIN_DIR FONT [WRAPPER]

Starts BIN_DIR's fontbin-studio (through WRAPPER, such as the Wine wrapper, when given) on a new
configuration, checks the refusals, a value the command line refuses, a preview, and an export
whose files must equal those of HOST_BIN_DIR's fontbin on the saved configuration. Then it holds a
page's event stream open, closes it, and expects the studio to end by itself with status 0.
"""
import http.client
import json
import os
import subprocess
import sys
import tempfile
import time

bin_dir, host_bin, font = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
wrapper = sys.argv[4:5]
windows = bool(wrapper)
exe = ".exe" if windows else ""
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def request(port, method, path, body=None, headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    conn.request(method, path, body=None if body is None else json.dumps(body), headers=headers or {})
    resp = conn.getresponse()
    data = resp.read()
    conn.close()
    return resp.status, data


def main():
    work = tempfile.mkdtemp(prefix="studio-api-")
    proc = subprocess.Popen(wrapper + [os.path.join(bin_dir, "fontbin-studio" + exe), "FontConfig.json", "--no-browser"],
                            cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        url = proc.stdout.readline().strip().split()[-1]
        port = int(url.split("/")[2].split(":")[1])
        base = "/" + url.split("/")[3] + "/"
        api = lambda path, body=None: json.loads(request(port, "GET" if body is None else "POST", base + "api/" + path, body)[1])

        check(request(port, "GET", base)[0] == 200, "the page is served under the token")
        check(request(port, "GET", "/api/state")[0] == 403, "a request without the token is refused")
        check(request(port, "GET", base + "api/state", headers={"Origin": "http://evil.example"})[0] == 403,
              "a request from a foreign origin is refused")
        check(request(port, "POST", base + "api/check", {"config": {}}, {"Host": f"localhost:{port}"})[0] == 403,
              "a request for another host name is refused")

        config = {"customerVals": [{"firstVal": "0x20", "range": "95"}],
                  "fontSet": {"font": font, "fontSize": 300, "renderMode": 4}}
        messages = api("check", {"config": config, "setting": {}})["messages"]
        check(any(m["key"] == "fontSet.fontSize" and m["text"].startswith("fontSize 300 is out of range")
                  for m in messages), f"fontSize 300 gets the command line's message: {messages}")

        config["fontSet"]["fontSize"] = 16
        preview = api("preview", {"config": config, "setting": {}, "text": "Hello", "codes": [72]})
        check(preview.get("text", {}).get("width", 0) > 20 and preview["maxLevel"] == 15,
              "a preview is drawn at 4 bits per pixel")

        # A font dropped on the page lands in the configuration's folder and draws from there.
        dropped = "dropped font.ttf"
        with open(os.path.join(bin_dir, "font", "unifont.ttf"), "rb") as f:
            font_bytes = f.read()
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        conn.request("POST", base + "api/upload?name=dropped%20font.ttf", body=font_bytes)
        stored = json.loads(conn.getresponse().read())
        conn.close()
        check(stored.get("font") == dropped and os.path.exists(os.path.join(work, dropped)),
              f"a dropped font is stored beside the configuration: {stored}")
        escaped = json.loads(request(port, "POST", base + "api/upload?name=..%2Fx.ttf", None)[1])
        check("error" in escaped, "a dropped file may not name another folder")
        drawn = api("preview", {"config": dict(config, fontSet=dict(config["fontSet"], font=dropped)),
                                "setting": {}, "text": "Hi", "codes": []})
        check(drawn.get("text", {}).get("width", 0) > 0, "the dropped font draws")

        exported = api("export", {"configText": json.dumps(config, indent=2) + "\n", "setting": {},
                                  "path": "FontConfig.json"})
        check(exported.get("run", {}).get("status") == 0, f"the export ends with status 0: {exported}")
        other = tempfile.mkdtemp(prefix="studio-api-cli-")
        with open(os.path.join(other, "FontConfig.json"), "w") as f:
            f.write(json.dumps(config, indent=2) + "\n")
        cli = subprocess.run([os.path.join(host_bin, "fontbin"), "FontConfig.json"], cwd=other, capture_output=True)
        check(cli.returncode == 0, "the command line runs on the same configuration")
        for f in exported.get("files", []):
            same = open(os.path.join(work, f["name"]), "rb").read() == open(os.path.join(other, f["name"]), "rb").read()
            check(same, f"{f['name']} is the command line's, byte for byte")
        check(len(exported.get("files", [])) == 2, "the export lists the font file and the list file")

        # A page that comes and goes: the studio ends once its stream has closed.
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        conn.request("GET", base + "api/events")
        resp = conn.getresponse()
        check(resp.status == 200 and resp.readline().startswith(b"data:"), "a page's event stream opens")
        conn.close()
        try:
            check(proc.wait(timeout=30) == 0, "the studio ends once its last page has gone")
        except subprocess.TimeoutExpired:
            check(False, "the studio ends once its last page has gone")
    finally:
        if proc.poll() is None:
            proc.kill()
    print("failed: " + "; ".join(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
