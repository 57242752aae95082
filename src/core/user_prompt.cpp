#include "core/user_prompt.h"

#include <atomic>

namespace trovium {

void ScriptedPrompt::SetAskAnswer(std::optional<bool> answer) {
  std::lock_guard<std::mutex> hold(lock_);
  ask_ = answer;
}

void ScriptedPrompt::SetYesNoCancelAnswer(std::optional<PromptAnswer> answer) {
  std::lock_guard<std::mutex> hold(lock_);
  yes_no_cancel_ = answer;
}

void ScriptedPrompt::Inform(const std::string& text, const std::string& title) {
  std::lock_guard<std::mutex> hold(lock_);
  shown_.push_back({text, title});
}

bool ScriptedPrompt::Ask(const std::string& text, const std::string& title) {
  std::lock_guard<std::mutex> hold(lock_);
  shown_.push_back({text, title});
  return ask_.value_or(false);
}

PromptAnswer ScriptedPrompt::AskYesNoCancel(const std::string& text, const std::string& title) {
  std::lock_guard<std::mutex> hold(lock_);
  shown_.push_back({text, title});
  return yes_no_cancel_.value_or(PromptAnswer::kCancel);
}

std::vector<ScriptedPrompt::Shown> ScriptedPrompt::ShownTexts() const {
  std::lock_guard<std::mutex> hold(lock_);
  return shown_;
}

namespace {
std::atomic<UserPrompt*> g_prompt{nullptr};
}  // namespace

void SetUserPrompt(UserPrompt* prompt) { g_prompt.store(prompt, std::memory_order_release); }

UserPrompt& GetUserPrompt() {
  static ScriptedPrompt refusing;
  UserPrompt* p = g_prompt.load(std::memory_order_acquire);
  return p ? *p : refusing;
}

}  // namespace trovium
