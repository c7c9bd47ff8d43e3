#include "FormModel.h"

#include <cctype>
#include <stdexcept>

namespace {

int lowerByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte;
}

}  // namespace

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return compareNoCase(a, b) == 0;
}

int compareNoCase(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int d = lowerByte(a[i]) - lowerByte(b[i]);
        if (d != 0)
            return d;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

void FormModel::Add(int id, Kind kind, bool sorted)
{
    Control control;
    control.kind = kind;
    control.sorted = sorted;
    m_controls[id] = control;
}

FormModel::Control& FormModel::At(int id)
{
    const auto found = m_controls.find(id);
    if (found == m_controls.end())
        throw std::out_of_range("no control " + std::to_string(id));
    return found->second;
}

const FormModel::Control& FormModel::At(int id) const
{
    const auto found = m_controls.find(id);
    if (found == m_controls.end())
        throw std::out_of_range("no control " + std::to_string(id));
    return found->second;
}

void FormModel::ResetContent(int id)
{
    Control& c = At(id);
    c.items.clear();
    c.selected = -1;
    if (c.kind == Kind::DropDown)
        c.text.clear();
}

int FormModel::AddString(int id, const std::string& text)
{
    Control& c = At(id);
    std::size_t at = c.items.size();
    if (c.sorted) {
        at = 0;
        while (at < c.items.size() && compareNoCase(c.items[at], text) <= 0)
            ++at;
    }
    c.items.insert(c.items.begin() + static_cast<long>(at), text);
    if (c.selected >= static_cast<int>(at))
        ++c.selected;
    return static_cast<int>(at);
}

int FormModel::InsertString(int id, int index, const std::string& text)
{
    Control& c = At(id);
    if (index < 0 || index > static_cast<int>(c.items.size()))
        index = static_cast<int>(c.items.size());
    c.items.insert(c.items.begin() + index, text);
    if (c.selected >= index)
        ++c.selected;
    return index;
}

int FormModel::DeleteString(int id, int index)
{
    Control& c = At(id);
    if (index < 0 || index >= static_cast<int>(c.items.size()))
        return CB_ERR;
    c.items.erase(c.items.begin() + index);
    if (c.selected == index)
        c.selected = -1;
    else if (c.selected > index)
        --c.selected;
    return static_cast<int>(c.items.size());
}

int FormModel::FindString(int id, int start, const std::string& prefix) const
{
    const Control& c = At(id);
    const int n = static_cast<int>(c.items.size());
    for (int k = 1; k <= n; ++k) {
        const int i = ((start < 0 ? -1 : start) + k) % n;
        const std::string& item = c.items[static_cast<std::size_t>(i)];
        if (item.size() >= prefix.size() && equalsNoCase(item.substr(0, prefix.size()), prefix))
            return i;
    }
    return CB_ERR;
}

int FormModel::FindStringExact(int id, int start, const std::string& text) const
{
    const Control& c = At(id);
    const int n = static_cast<int>(c.items.size());
    for (int k = 1; k <= n; ++k) {
        const int i = ((start < 0 ? -1 : start) + k) % n;
        if (equalsNoCase(c.items[static_cast<std::size_t>(i)], text))
            return i;
    }
    return CB_ERR;
}

int FormModel::SetCurSel(int id, int index)
{
    Control& c = At(id);
    if (index < 0 || index >= static_cast<int>(c.items.size())) {
        c.selected = -1;
        if (c.kind == Kind::DropDown)
            c.text.clear();
        return CB_ERR;
    }
    c.selected = index;
    if (c.kind == Kind::DropDown)
        c.text = c.items[static_cast<std::size_t>(index)];
    return index;
}

int FormModel::GetCurSel(int id) const
{
    return At(id).selected;
}

int FormModel::GetCount(int id) const
{
    return static_cast<int>(At(id).items.size());
}

std::string FormModel::GetLBText(int id, int index) const
{
    const Control& c = At(id);
    if (index < 0 || index >= static_cast<int>(c.items.size()))
        return std::string();
    return c.items[static_cast<std::size_t>(index)];
}

int FormModel::SelectString(int id, const std::string& prefix)
{
    const int found = FindString(id, -1, prefix);
    if (found == CB_ERR)
        return CB_ERR;
    return SetCurSel(id, found);
}

std::string FormModel::GetWindowText(int id) const
{
    const Control& c = At(id);
    if (c.kind == Kind::DropDownList)
        return GetLBText(id, c.selected);
    return c.text;
}

void FormModel::SetWindowText(int id, const std::string& text)
{
    Control& c = At(id);
    if (c.kind == Kind::DropDownList) {
        const int found = FindStringExact(id, -1, text);
        if (found != CB_ERR)
            c.selected = found;
        return;
    }
    c.text = text;
    if (c.kind == Kind::DropDown)
        c.selected = FindStringExact(id, -1, text);
}

void FormModel::EnableWindow(int id, bool enable)
{
    At(id).enabled = enable;
}

bool FormModel::IsWindowEnabled(int id) const
{
    return At(id).enabled;
}

void FormModel::ShowWindow(int id, bool show)
{
    At(id).visible = show;
}

bool FormModel::IsWindowVisible(int id) const
{
    return At(id).visible;
}

void FormModel::SetCheck(int id, bool checked)
{
    At(id).checked = checked;
}

bool FormModel::GetCheck(int id) const
{
    return At(id).checked;
}

void FormModel::LimitText(int id, int characters)
{
    At(id).limit = characters;
}

bool FormModel::IsMenuItemEnabled(int command) const
{
    const auto found = m_menu.find(command);
    return found == m_menu.end() || found->second;
}

std::string FormModel::Describe(int id) const
{
    const Control& c = At(id);
    std::string out = "[" + std::to_string(c.selected) + "] '" + GetWindowText(id) + "' {";
    for (const auto& item : c.items)
        out += item + "|";
    return out + "}";
}
