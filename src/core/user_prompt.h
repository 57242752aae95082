#pragma once
// Every message box and question raised by engine code goes through here. The
// GUI asks on its UI thread; the CLI answers from its flags; tests script it.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace trovium {

enum class PromptAnswer { kYes, kNo, kCancel };

class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  virtual void Inform(const std::string& text, const std::string& title) = 0;
  virtual bool Ask(const std::string& text, const std::string& title) = 0;
  virtual PromptAnswer AskYesNoCancel(const std::string& text, const std::string& title) = 0;
};

// Fixed answers for tests and for a CLI without a terminal. Without a set
// answer it refuses to guess: Ask says no, AskYesNoCancel says cancel.
// Every text shown is kept. Safe to call from any thread.
class ScriptedPrompt : public UserPrompt {
 public:
  struct Shown {
    std::string text;
    std::string title;
  };

  void SetAskAnswer(std::optional<bool> answer);
  void SetYesNoCancelAnswer(std::optional<PromptAnswer> answer);

  void Inform(const std::string& text, const std::string& title) override;
  bool Ask(const std::string& text, const std::string& title) override;
  PromptAnswer AskYesNoCancel(const std::string& text, const std::string& title) override;

  std::vector<Shown> ShownTexts() const;

 private:
  mutable std::mutex lock_;
  std::optional<bool> ask_;
  std::optional<PromptAnswer> yes_no_cancel_;
  std::vector<Shown> shown_;
};

// Process-wide prompt; when none is set, a ScriptedPrompt without answers.
void SetUserPrompt(UserPrompt* prompt);
UserPrompt& GetUserPrompt();

}  // namespace trovium
