#include "app/MyMainMenu.h"

#include "app/InetHandler.h"
#include "app/LanguageDlg.h"
#include "app/StartUpDlgRes.h"

int MyMainMenu::IconIndexOf(UINT commandId)
{
    switch (commandId) {
    case 1:
        return 91;
    case ID_MENU_EXIT:
        return 25;
    case ID_MENU_ABOUT:
        return 53;
    case ID_MENU_README:
        return 47;
    case ID_MENU_START_SCAN:
        return 87;
    case ID_MENU_LANGUAGE:
        return 90;
    case ID_MENU_OPTIONS:
        return 33;
    default:
        return g_DlvInetHandler.GetCommandBitmap(commandId) ? -2 : -1;
    }
}

void MyMainMenu::OnDrawItem(DRAWITEMSTRUCT* item, HMENU menu)
{
    if (!item)
        return;
    const int icon = IconIndexOf(item->itemID);
    // The library keeps its icon; the bar only draws it.
    m_itemIcon = icon == -2 ? g_DlvInetHandler.GetCommandBitmap(item->itemID) : nullptr;
    DrawMenuItem(item, menu, item->itemID, icon);
}

void MyMainMenu::OnInitMenuPopup() {}

void MyMainMenu::ApplyLanguage()
{
    HMENU menu = GetMenu();
    if (!menu)
        return;
    SetMenuTitleText(menu, L"File", 0);
    SetMenuTitleText(menu, L"Configuration", 1);
    SetMenuTitleText(menu, L"Internet", 2);
    SetMenuTitleText(menu, L"Help", 3);
    SetMainMenuItemText(menu, L"File_StartWizard", ID_MENU_START_SCAN);
    SetMainMenuItemText(menu, L"File_Exit", ID_MENU_EXIT);
    SetMainMenuItemText(menu, L"Configuration_Language", ID_MENU_LANGUAGE);
    SetMainMenuItemText(menu, L"Configuration_Options", ID_MENU_OPTIONS);
    SetMainMenuItemText(menu, L"Help_Readme", ID_MENU_README);
    SetMainMenuItemText(menu, L"Help_About", ID_MENU_ABOUT);
}

void MyMainMenu::DisableExitItem()
{
    EnableItem(ID_MENU_EXIT, false);
}
