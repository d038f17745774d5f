#include "MainWindow.h"

#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "IClientActions.h"
#include "NetWatch.h"
#include "OnlineTime.h"
#include "UiTrace.h"

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 500;
constexpr int kPanelY = 130;  // a panel switched in later sits 10 px lower than at build

const char* const kWelcome = "您好，欢迎使用校宽认证！";
const char* const kInitText = "正在初始化环境，请稍后...";
const char* const kLoginHint = "请使用校宽认证账号登录";
const char* const kLoginLabel = "      登  录      ";
const char* const kLogoffLabel = "      下  线      ";
const char* const kCampus = "已连接校园光网";
const char* const kInternet = "已连接Internet";
const char* const kNoAccount = "账号不能为空！";
const char* const kNoPassword = "密码不能为空！";
const char* const kBoxTitle = "错误提示";
const char* const kNetLost = "网络已断开！";

GdkColor Colour(const char* name) {
    GdkColor colour = {};
    gdk_color_parse(name, &colour);
    return colour;
}

// A widget at x, y of a fixed container, with a size when one is given.
GtkWidget* Place(GtkWidget* fixed, GtkWidget* child, int x, int y, int width = -1, int height = -1) {
    if (width >= 0) {
        gtk_widget_set_size_request(child, width, height);
    }
    gtk_fixed_put(GTK_FIXED(fixed), child, x, y);
    return child;
}

GtkWidget* Image(const char* file) { return gtk_image_new_from_file(file); }

GtkWidget* ImageButton(const char* file) {
    GtkWidget* button = gtk_button_new();
    gtk_button_set_image(GTK_BUTTON(button), Image(file));
    gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
    return button;
}

// A coloured button: the label's text colour and the surrounding event box's
// background in the normal, pressed and hovered states.
GtkWidget* ColouredButton(const char* text, const char* background, const char* foreground,
                          GtkWidget** button) {
    GdkColor bg = Colour(background);
    GdkColor fg = Colour(foreground);
    GtkWidget* box = gtk_event_box_new();
    *button = gtk_button_new();
    GtkWidget* label = gtk_label_new(text);
    gtk_misc_set_alignment(GTK_MISC(label), 0.5f, 0.5f);
    gtk_container_add(GTK_CONTAINER(*button), label);
    gtk_container_add(GTK_CONTAINER(box), *button);
    for (GtkStateType state : {GTK_STATE_NORMAL, GTK_STATE_ACTIVE, GTK_STATE_PRELIGHT}) {
        gtk_widget_modify_fg(label, state, &fg);
        gtk_widget_modify_bg(box, state, &bg);
    }
    return box;
}

GtkWidget* ColouredLabel(const char* text, const char* colour) {
    GtkWidget* label = gtk_label_new(text);
    GdkColor fg = Colour(colour);
    gtk_widget_modify_fg(label, GTK_STATE_NORMAL, &fg);
    return label;
}

std::string Position(GtkWidget* widget) {
    gint x = 0, y = 0;
    gdk_window_get_origin(widget->window, &x, &y);
    if (GTK_WIDGET_NO_WINDOW(widget)) {
        x += widget->allocation.x;
        y += widget->allocation.y;
    }
    return std::to_string(x + widget->allocation.width / 2) + "," +
           std::to_string(y + widget->allocation.height / 2);
}

}  // namespace

// GTK's callbacks, forwarding to the window.
struct CMainWindow::Signals {
    static void Login(GtkWidget*, gpointer self) { static_cast<CMainWindow*>(self)->OnLogin(); }
    static void Logoff(GtkWidget*, gpointer self) { static_cast<CMainWindow*>(self)->OnLogoff(); }
    static void Destroy(GtkWidget*, gpointer self) { static_cast<CMainWindow*>(self)->OnDestroy(); }
    static gboolean Close(GtkWidget*, GdkEvent*, gpointer self) {
        static_cast<CMainWindow*>(self)->OnClose();
        return TRUE;
    }
    static void BoxAnswered(GtkWidget* box, gint, gpointer self) {
        gtk_widget_destroy(box);
        CUiTrace::Get().Write("box_closed", "");
        static_cast<CMainWindow*>(self)->m_queue.BoxClosed();
    }
    static void NoticeAnswered(GtkWidget* notice, gint, gpointer) {
        gtk_widget_destroy(notice);
        CUiTrace::Get().Write("notice_closed", kNetLost);
    }
    static gboolean WindowMapped(GtkWidget* window, GdkEvent*, gpointer) {
        gint x = 0, y = 0;
        gdk_window_get_origin(window->window, &x, &y);
        CUiTrace::Get().Write("window", std::to_string(x) + "," + std::to_string(y));
        return FALSE;
    }
    static gboolean BoxMapped(GtkWidget*, GdkEvent*, gpointer ok) {
        CUiTrace::Get().Write("box_ok", Position(static_cast<GtkWidget*>(ok)));
        return FALSE;
    }
};

struct CMainWindow::Widgets {
    GtkWidget* window = nullptr;
    GtkWidget* root = nullptr;
    GtkWidget* panels[3] = {};  // referenced: a panel lives on while switched out
    Panel current = Panel::Init;
    GtkWidget* initText = nullptr;
    GtkWidget* account = nullptr;
    GtkWidget* password = nullptr;
    GtkWidget* loginButton = nullptr;
    GtkWidget* stateText = nullptr;
    GtkWidget* timerText = nullptr;
    GtkWidget* logoffBox = nullptr;
    GtkWidget* logoffButton = nullptr;
};

CMainWindow::CMainWindow(IClientActions* actions, ErrorText errorText)
    : m_actions(actions),
      m_errorText(std::move(errorText)),
      m_queue([this] { gdk_threads_add_idle(&CMainWindow::DrainCallback, this); }) {}

CMainWindow::~CMainWindow() {
    if (m_w) {
        for (GtkWidget* panel : m_w->panels) {
            g_object_unref(panel);
        }
        delete m_w;
    }
}

void CMainWindow::BuildMainWindow() {
    m_w = new Widgets;
    Widgets& w = *m_w;
    w.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(w.window), "VelnorClient");
    gtk_window_set_resizable(GTK_WINDOW(w.window), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(w.window), kWidth, kHeight);
    gtk_container_set_border_width(GTK_CONTAINER(w.window), 0);
    gtk_window_set_decorated(GTK_WINDOW(w.window), FALSE);
    gtk_window_set_position(GTK_WINDOW(w.window), GTK_WIN_POS_CENTER);

    w.root = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(w.window), w.root);
    Place(w.root, Image("image/main.png"), 0, 0, kWidth, kHeight);
    GtkWidget* welcome = gtk_label_new(nullptr);
    gchar* markup = g_markup_printf_escaped("<i>%s</i>", kWelcome);
    gtk_label_set_markup(GTK_LABEL(welcome), markup);
    g_free(markup);
    GdkColor white = Colour("white");
    gtk_widget_modify_fg(welcome, GTK_STATE_NORMAL, &white);
    gtk_label_set_justify(GTK_LABEL(welcome), GTK_JUSTIFY_CENTER);
    Place(w.root, welcome, 30, 42, 200, 30);
    Place(w.root, Image("image/logo.png"), 10, 5);
    GtkWidget* minimise = Place(w.root, ImageButton("image/minimize_button.png"), 240, 5);
    GtkWidget* close = Place(w.root, ImageButton("image/close_button.png"), 269, -1);
    GtkWidget* bottom = Image("image/bottom.png");
    gtk_misc_set_alignment(GTK_MISC(bottom), 1.0f, 1.0f);
    Place(w.root, bottom, 0, 470, kWidth, 30);

    GtkWidget* init = gtk_fixed_new();
    w.initText = Place(init, ColouredLabel(kInitText, "#3FA6F0"), 50, 160, 200, 30);
    Place(init, Image("image/loading.gif"), 75, 0, 150, 150);

    GtkWidget* login = gtk_fixed_new();
    Place(login, ColouredLabel(kLoginHint, "red"), 70, 0);
    Place(login, gtk_label_new("账号 :"), 20, 50);
    w.account = Place(login, gtk_entry_new(), 65, 40);
    Place(login, gtk_label_new("密码 :"), 20, 90);
    w.password = Place(login, gtk_entry_new(), 65, 80);
    gtk_entry_set_visibility(GTK_ENTRY(w.password), FALSE);
    gtk_entry_set_invisible_char(GTK_ENTRY(w.password), '#');
    Place(login, ColouredButton(kLoginLabel, "#B3E5FC", "#3FA6F0", &w.loginButton), 65, 160, 170, 40);

    GtkWidget* state = gtk_fixed_new();
    gtk_widget_set_size_request(state, kWidth, 35);
    Place(state, Image("image/netStateIcon.png"), 40, 20);
    Place(state, gtk_label_new("网络状态"), 60, 20);
    w.stateText = Place(state, gtk_label_new(kCampus), 160, 20);
    Place(state, Image("image/netTime.png"), 40, 80);
    Place(state, gtk_label_new("上网计时"), 60, 80);
    w.timerText = Place(state, gtk_label_new(COnlineTime::Text(0).c_str()), 190, 80);
    w.logoffBox =
        Place(state, ColouredButton(kLogoffLabel, "#FFA726", "#F44336", &w.logoffButton), 25, 160, 250, 40);
    // Shown or hidden only by ShowConnected, not by the re-show of a panel switch.
    gtk_widget_show_all(w.logoffBox);
    gtk_widget_set_no_show_all(w.logoffBox, TRUE);

    w.panels[int(Panel::Init)] = init;
    w.panels[int(Panel::Login)] = login;
    w.panels[int(Panel::State)] = state;
    for (GtkWidget* panel : w.panels) {
        g_object_ref_sink(panel);
        gtk_widget_set_size_request(panel, kWidth, panel == state ? 35 : 350);
    }
    gtk_fixed_put(GTK_FIXED(w.root), init, 0, 120);
    w.current = Panel::Init;

    g_signal_connect_swapped(minimise, "clicked", G_CALLBACK(gtk_window_iconify), w.window);
    g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_destroy), w.window);
    g_signal_connect(w.loginButton, "clicked", G_CALLBACK(Signals::Login), this);
    g_signal_connect(w.logoffButton, "clicked", G_CALLBACK(Signals::Logoff), this);
    g_signal_connect(w.window, "destroy", G_CALLBACK(Signals::Destroy), this);
    g_signal_connect(w.window, "delete-event", G_CALLBACK(Signals::Close), this);
    if (CUiTrace::Get().On()) {
        g_signal_connect(w.window, "map-event", G_CALLBACK(Signals::WindowMapped), nullptr);
    }

    m_timerId = gdk_threads_add_timeout(1000, &CMainWindow::TimerCallback, this);
    gtk_window_set_position(GTK_WINDOW(w.window), GTK_WIN_POS_CENTER_ALWAYS);
    gtk_widget_show_all(w.window);
    CUiTrace::Get().Write("panel", "init");
    CUiTrace::Get().Write("init_text", kInitText);
}

// ---- Any thread: queue the change --------------------------------------

void CMainWindow::Post(std::function<void()> change) {
    m_queue.Post([change = std::move(change)] {
        change();
        return false;
    });
}

void CMainWindow::PostBox(std::string text, bool withParent) {
    m_queue.Post([this, text = std::move(text), withParent] {
        OpenBox(text, withParent);
        return true;
    });
}

std::string CMainWindow::CodeText(long code, const char* subErrCode, const char* extra) const {
    std::string text = m_errorText ? m_errorText(code, subErrCode ? subErrCode : "", extra ? extra : "") : "";
    return text.empty() ? "错误码：" + std::to_string(code) : text;
}

void CMainWindow::ShowInitPanel() {
    Post([this] { SwitchPanel(Panel::Init); });
}

void CMainWindow::ShowLoginPanel() {
    Post([this] { SwitchPanel(Panel::Login); });
}

void CMainWindow::ShowConnected(int type) {
    Post([this, type] {
        SwitchPanel(Panel::State);
        SetLabel(m_w->stateText, "state_text", type != 0 ? kCampus : kInternet);
        // Plain Internet has no portal session to end.
        if (type != 0) {
            gtk_widget_show(m_w->logoffBox);
        } else {
            gtk_widget_hide(m_w->logoffBox);
        }
        CUiTrace::Get().Write("logoff", type != 0 ? "shown" : "hidden");
    });
}

void CMainWindow::ShowErrorDialog(long code, const char* subErrCode, const char* extra) {
    PostBox(CodeText(code, subErrCode, extra), false);
}

void CMainWindow::ShowStateText(long code, const char* subErrCode, const char* extra) {
    Post([this, text = CodeText(code, subErrCode, extra)] { SetLabel(m_w->initText, "init_text", text); });
}

void CMainWindow::SetInitText(const char* text) {
    if (text) {
        Post([this, copy = std::string(text)] { SetLabel(m_w->initText, "init_text", copy); });
    }
}

void CMainWindow::ShowNetLostNotice() {
    Post([this] {
        GtkWidget* notice = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_INFO,
                                                   GTK_BUTTONS_OK, "%s", kNetLost);
        gtk_window_set_position(GTK_WINDOW(notice), GTK_WIN_POS_CENTER);
        g_signal_connect(notice, "response", G_CALLBACK(Signals::NoticeAnswered), nullptr);
        gtk_widget_show_all(notice);
        CUiTrace::Get().Write("notice", kNetLost);
    });
}

int CMainWindow::DrainCallback(void* self) {
    static_cast<CMainWindow*>(self)->m_queue.Drain();
    return FALSE;
}

// ---- GUI thread ---------------------------------------------------------

void CMainWindow::SwitchPanel(Panel panel) {
    Widgets& w = *m_w;
    if (panel != w.current) {
        gtk_container_remove(GTK_CONTAINER(w.root), w.panels[int(w.current)]);
        gtk_fixed_put(GTK_FIXED(w.root), w.panels[int(panel)], 0, kPanelY);
        w.current = panel;
        static const char* const names[] = {"init", "login", "state"};
        CUiTrace::Get().Write("panel", names[int(panel)]);
    }
    gtk_widget_show_all(w.window);
}

void CMainWindow::SetLabel(GtkWidget* label, const char* traceKey, const std::string& text) {
    gtk_label_set_text(GTK_LABEL(label), text.c_str());
    CUiTrace::Get().Write(traceKey, text);
}

void CMainWindow::OpenBox(const std::string& text, bool withParent) {
    GtkWindow* parent = withParent ? GTK_WINDOW(m_w->window) : nullptr;
    GtkWidget* box =
        gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                               GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), kBoxTitle);
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    // Shown without a nested main loop: the queue stays held until the answer.
    g_signal_connect(box, "response", G_CALLBACK(Signals::BoxAnswered), this);
    if (CUiTrace::Get().On()) {
        // Where to click: tests have no window manager to ask.
        GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
        g_signal_connect(box, "map-event", G_CALLBACK(Signals::BoxMapped), ok);
    }
    gtk_widget_show_all(box);
    CUiTrace::Get().Write("box", text);
}

void CMainWindow::OnLogin() {
    const char* account = gtk_entry_get_text(GTK_ENTRY(m_w->account));
    if (!account || !*account) {
        PostBox(kNoAccount, true);
        return;
    }
    const char* password = gtk_entry_get_text(GTK_ENTRY(m_w->password));
    if (!password || !*password) {
        PostBox(kNoPassword, true);
        return;
    }
    m_actions->Login(account, password);
    m_seconds = 0;
    m_timerRunning = true;
    if (m_netWatch) {
        m_netWatch->SetOn(true);
    }
}

void CMainWindow::OnLogoff() {
    m_actions->Logout();
    m_timerRunning = false;
    m_seconds = 0;
    SetLabel(m_w->timerText, "timer", COnlineTime::Text(0));
    if (m_netWatch) {
        m_netWatch->SetOn(false);
    }
}

int CMainWindow::TimerCallback(void* self) {
    static_cast<CMainWindow*>(self)->OnTimer();
    return TRUE;
}

void CMainWindow::OnTimer() {
    if (m_timerRunning) {
        ++m_seconds;
        SetLabel(m_w->timerText, "timer", COnlineTime::Text(m_seconds));
    }
}

void CMainWindow::StopTimer() {
    if (m_timerId != 0) {
        g_source_remove(m_timerId);
        m_timerId = 0;
    }
}

void CMainWindow::OnClose() {
    StopTimer();
    m_actions->Exit();
    gtk_widget_destroy(m_w->window);
}

void CMainWindow::OnDestroy() {
    StopTimer();
    m_actions->Logout();
    gtk_main_quit();
    // The service gets the logout before the process goes; nothing else is torn down.
    sleep(1);
    kill(getpid(), SIGKILL);
}
