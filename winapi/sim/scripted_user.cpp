// The scripted user: steps taken when the program waits for input, when a
// message box appears, or when a control shows a given text.
#include "ui_state.h"

namespace winapi {

namespace {

// The user's actions never change the program's last error.
void Run(const std::function<void()> &action) {
  if (!action) return;
  DWORD error = GetLastError();
  action();
  SetLastError(error);
}

ScriptedUser &Add(ScriptedUser &user, TStep step) {
  Ui().Script.push_back(std::move(step));
  return user;
}

ScriptedUser &AddIdle(ScriptedUser &user, std::function<void()> action, const std::string &what) {
  TStep step;
  step.What = what;
  step.Action = std::move(action);
  return Add(user, std::move(step));
}

}  // namespace

void UserIdle() {
  TUiState &ui = Ui();
  if (ui.Script.empty()) {
    AbortEverything("the program waits for input, and the script has no more steps");
    return;
  }
  if (ui.Script.front().Trigger != TTrigger::Idle) {
    AbortEverything("the program waits for input, and the script waits for " +
                    ui.Script.front().What);
    return;
  }
  TStep step = std::move(ui.Script.front());
  ui.Script.pop_front();
  Run(step.Action);
}

bool AnswerBox(const TMessageBoxRecord &box, int &answer) {
  TUiState &ui = Ui();
  if (ui.Aborting) return false;
  if (!ui.Script.empty() && ui.Script.front().Trigger == TTrigger::Box &&
      ui.Script.front().Caption == box.Caption) {
    TStep step = std::move(ui.Script.front());
    ui.Script.pop_front();
    Run(step.Action);
    answer = step.Answer;
    return true;
  }
  for (const auto &standing : ui.StandingAnswers)
    if (standing.first == box.Caption) {
      answer = standing.second;
      return true;
    }
  Problem("unexpected message box \"" + box.Caption + "\": " + box.Text);
  return false;
}

void TextChanged(TWindow *window) {
  TUiState &ui = Ui();
  if (ui.Script.empty() || ui.Script.front().Trigger != TTrigger::Text) return;
  const TStep &front = ui.Script.front();
  if (front.Dialog != DialogOf(window)->Template || front.Id != (window->Parent ? window->Id : 0) ||
      front.Text != window->Text)
    return;
  TStep step = std::move(ui.Script.front());
  ui.Script.pop_front();
  Run(step.Action);
}

const std::vector<TUiEvent> &UiEvents() {
  return Ui().Events;
}

std::vector<std::string> UiValues(const std::string &dialog, int id, const std::string &kind) {
  std::vector<std::string> values;
  for (const TUiEvent &event : Ui().Events)
    if (event.Dialog == dialog && event.Id == id && event.Kind == kind)
      values.push_back(event.Value);
  return values;
}

const std::vector<std::string> &UserProblems() {
  return Ui().Problems;
}
size_t RemainingSteps() {
  return Ui().Script.size();
}

ScriptedUser &ScriptedUser::Click(int id) {
  return AddIdle(
      *this, [id] { ClickControl(id); }, "click on " + std::to_string(id));
}
ScriptedUser &ScriptedUser::CloseBox() {
  return AddIdle(*this, ClickCloseBox, "close box");
}
ScriptedUser &ScriptedUser::Press(int key) {
  return AddIdle(
      *this, [key] { PressKey(key); }, "key " + std::to_string(key));
}
ScriptedUser &ScriptedUser::AltF4() {
  return AddIdle(*this, PressAltF4, "Alt+F4");
}
ScriptedUser &ScriptedUser::Type(const std::string &text) {
  return AddIdle(
      *this, [text] { TypeText(text); }, "typing " + text);
}
ScriptedUser &ScriptedUser::Select(int comboId, int index) {
  return AddIdle(
      *this, [comboId, index] { SelectComboItem(comboId, index); },
      "selecting item " + std::to_string(index));
}
ScriptedUser &ScriptedUser::Do(std::function<void()> action, const std::string &what) {
  return AddIdle(*this, std::move(action), what);
}

ScriptedUser &ScriptedUser::Answer(const std::string &caption, int answer,
                                   std::function<void()> action) {
  TStep step;
  step.Trigger = TTrigger::Box;
  step.What = "a message box \"" + caption + "\"";
  step.Caption = caption;
  step.Answer = answer;
  step.Action = std::move(action);
  return Add(*this, std::move(step));
}

ScriptedUser &ScriptedUser::WhenText(const std::string &dialog, int id, const std::string &text,
                                     std::function<void()> action) {
  TStep step;
  step.Trigger = TTrigger::Text;
  step.What = "the text \"" + text + "\"";
  step.Dialog = dialog;
  step.Id = id;
  step.Text = text;
  step.Action = std::move(action);
  return Add(*this, std::move(step));
}

ScriptedUser &ScriptedUser::AlwaysAnswer(const std::string &caption, int answer) {
  Ui().StandingAnswers.emplace_back(caption, answer);
  return *this;
}

}  // namespace winapi
