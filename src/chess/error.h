// The chess room's one error convention: an exception carrying the reason.
// Positions, moves and notation throw Error; reading a game throws
// GameError, which also says where in which game.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace tib::chess {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& reason)
      : std::runtime_error(reason), reason_(reason) {}
  [[nodiscard]] const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// what() reads "game 2, ply 23 (12. Nf3): no knight can move to f3"; parts
// that are not known (game 0, ply 0, no move text) are left out.
class GameError : public Error {
 public:
  GameError(std::size_t game, std::size_t ply, std::string moveText,
            const std::string& reason);

  [[nodiscard]] std::size_t game() const { return game_; }
  [[nodiscard]] std::size_t ply() const { return ply_; }
  [[nodiscard]] const std::string& moveText() const { return moveText_; }
  [[nodiscard]] const char* what() const noexcept override {
    return message_.c_str();
  }

 private:
  std::size_t game_;
  std::size_t ply_;
  std::string moveText_;
  std::string message_;
};

}  // namespace tib::chess
