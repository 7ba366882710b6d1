// The studio's local web server: 127.0.0.1 only, a random token in every path, requests from any
// other host name or origin refused, and the page's own files and API behind them.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tools/studio/Engine.h"

namespace studio {

// Whether a request may reach the page: its path starts with "/<token>/", its Host header is
// exactly the address served, and its Origin, when it has one, is that address too. Empty when
// it may; otherwise why not. Pure, for the tests.
std::string refusal(const std::string& path, const std::string& host, const std::string& origin,
                    bool hasOrigin, const std::string& token, int port);

class Server {
public:
    explicit Server(Engine& engine);
    ~Server();

    // Binds to a free port on 127.0.0.1 and makes the token. False, with the reason, on failure.
    bool start(std::string& error);
    // The address to open: http://127.0.0.1:PORT/TOKEN/
    std::string url() const;
    // Serves until the last page that connected has been closed (its event stream ended and no
    // other opened within a few seconds), or for ever when none ever connects.
    void run();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace studio
