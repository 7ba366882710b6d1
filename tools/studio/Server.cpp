#include "tools/studio/Server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/desktop.h"
#include "tools/studio/Json.h"
#include "tools/studio/WebFiles.h"

namespace studio {

namespace {

using Clock = std::chrono::steady_clock;

// How long the studio waits, once its last page has gone, for a page to come back (a reload
// closes the page's stream and opens a new one).
constexpr auto kLastPageGrace = std::chrono::seconds(4);

const char* contentType(const std::string& name) {
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0)
        return "text/html; charset=utf-8";
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".js") == 0)
        return "text/javascript; charset=utf-8";
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".css") == 0)
        return "text/css; charset=utf-8";
    return "application/octet-stream";
}

// Compares without stopping at the first difference, so that the time taken tells nothing.
bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

std::string refusal(const std::string& path, const std::string& host, const std::string& origin,
                    bool hasOrigin, const std::string& token, int port) {
    const std::string address = "127.0.0.1:" + std::to_string(port);
    // Another name for this machine is how a web page reaches it through its own DNS name.
    if (host != address) return "the Host header is not " + address;
    // A page of another site may send requests here, but its browser names its origin.
    if (hasOrigin && origin != "http://" + address) return "the request comes from another origin";
    const std::string prefix = "/" + token + "/";
    if (path.size() < prefix.size() || !sameText(path.substr(0, prefix.size()), prefix))
        return "the address lacks the session's token";
    return {};
}

struct Server::State {
    explicit State(Engine& e) : engine(e) {}
    Engine& engine;
    httplib::Server http;
    std::string token;
    int port = 0;
    std::atomic<int> pages{0};
    std::atomic<bool> anyPage{false};
    std::atomic<bool> stopping{false};
    std::mutex clock;
    Clock::time_point lastClosed = Clock::now();
};

Server::Server(Engine& engine) : state_(std::make_unique<State>(engine)) {}
Server::~Server() = default;

bool Server::start(std::string& error) {
    State& s = *state_;
    unsigned char bytes[16];
    if (!platform::randomBytes(bytes, sizeof bytes)) {
        error = "the system's random source gives no bytes for the session's token";
        return false;
    }
    static const char hex[] = "0123456789abcdef";
    for (unsigned char b : bytes) {
        s.token += hex[b >> 4];
        s.token += hex[b & 15];
    }
    s.port = s.http.bind_to_any_port("127.0.0.1");
    if (s.port <= 0) {
        error = "cannot listen on 127.0.0.1";
        return false;
    }
    // Dropped fonts are the largest requests.
    s.http.set_payload_max_length(size_t(512) << 20);
    s.http.set_default_headers(
        {{"Cache-Control", "no-store"},
         {"X-Content-Type-Options", "nosniff"},
         {"Referrer-Policy", "no-referrer"},
         {"Content-Security-Policy",
          "default-src 'self'; img-src 'self' data: blob:; connect-src 'self'; "
          "frame-ancestors 'none'; form-action 'none'"}});
    s.http.set_pre_routing_handler([&s](const httplib::Request& req, httplib::Response& res) {
        const std::string why =
            refusal(req.path, req.get_header_value("Host"), req.get_header_value("Origin"),
                    req.has_header("Origin"), s.token, s.port);
        if (why.empty()) return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        res.set_content("refused: " + why + "\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    });

    const std::string base = "/" + s.token + "/";
    for (const WebFile& file : webFiles()) {
        const std::string name = file.name;
        const std::string path = base + (name == "index.html" ? std::string() : name);
        s.http.Get(path, [file](const httplib::Request&, httplib::Response& res) {
            res.set_content(reinterpret_cast<const char*>(file.data), file.size,
                            contentType(file.name));
        });
    }
    auto json = [](httplib::Response& res, const std::string& body) {
        res.set_content(body, "application/json; charset=utf-8");
    };
    // A POST body is the request's JSON; a body that does not parse is refused.
    auto post = [&s, json, base](const char* name, std::string (Engine::*call)(const cJSON*)) {
        s.http.Post(base + "api/" + name,
                    [&s, json, call](const httplib::Request& req, httplib::Response& res) {
                        Json body(cJSON_ParseWithLength(req.body.data(), req.body.size()));
                        if (!body || !cJSON_IsObject(body.get())) {
                            res.status = 400;
                            return json(res, errorJson("the request is not a JSON object"));
                        }
                        json(res, (s.engine.*call)(body.get()));
                    });
    };
    post("check", &Engine::check);
    post("preview", &Engine::preview);
    post("sizes", &Engine::startSizes);
    post("export", &Engine::exportFiles);
    s.http.Get(base + "api/state", [&s, json](const httplib::Request&, httplib::Response& res) {
        json(res, s.engine.state());
    });
    s.http.Get(base + "api/fonts", [&s, json](const httplib::Request&, httplib::Response& res) {
        json(res, s.engine.fonts());
    });
    s.http.Get(base + "api/sizes", [&s, json](const httplib::Request&, httplib::Response& res) {
        json(res, s.engine.sizes());
    });
    s.http.Post(base + "api/upload",
                [&s, json](const httplib::Request& req, httplib::Response& res) {
                    json(res, s.engine.upload(req.get_param_value("name"), req.body));
                });
    // Each open page holds this stream; the studio ends once the last one has closed.
    s.http.Get(base + "api/events", [&s](const httplib::Request&, httplib::Response& res) {
        ++s.pages;
        s.anyPage = true;
        res.set_chunked_content_provider(
            "text/event-stream",
            [&s](size_t, httplib::DataSink& sink) {
                if (s.stopping || !sink.is_writable()) return false;
                static const char beat[] = "data: alive\n\n";
                if (!sink.write(beat, sizeof beat - 1)) return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                return !s.stopping.load();
            },
            [&s](bool) {
                std::lock_guard<std::mutex> lock(s.clock);
                s.lastClosed = Clock::now();
                --s.pages;
            });
    });
    return true;
}

std::string Server::url() const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + "/" + state_->token + "/";
}

void Server::run() {
    State& s = *state_;
    std::thread serving([&s] { s.http.listen_after_bind(); });
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (!s.anyPage || s.pages > 0) continue;
        std::lock_guard<std::mutex> lock(s.clock);
        if (Clock::now() - s.lastClosed > kLastPageGrace) break;
    }
    s.stopping = true;
    s.http.stop();
    serving.join();
}

}  // namespace studio
