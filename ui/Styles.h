#pragma once

// Style sheets of the main window, in one place.
namespace kzp::styles {

inline constexpr const char* centralBackground =
    "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 #020407,stop:0.5 #151c26 "
    ",stop:1 #283345)";

inline constexpr const char* bigButton =
    "QPushButton{background-color:rgb(20, 50, 80);color:white;border-radius:15px;border:3px solid SlateGrey;}"
    "QPushButton:hover{background-color:rgb(156, 156, 156);}"
    "QPushButton:pressed{background-color:rgb(156, 156, 156);border:3px solid SlateGrey;}";

inline constexpr const char* slider =
    "QSlider::groove:horizontal{border:1px solid #4A708B;background:#C0C0C0;height:5px;border-radius:1px;"
    "padding-left:-1px;padding-right:-1px;}"
    "QSlider::sub-page:horizontal{background:qlineargradient(spread:pad,x1:0,y1:1,x2:1,y2:0,"
    "stop:0 #5DCCFF,stop:1 #1874CD);border:1px solid #4A708B;height:10px;border-radius:2px;}"
    "QSlider::add-page:horizontal{background:#575757;height:10px;border-radius:2px;}"
    "QSlider::handle:horizontal{width:11px;margin-top:-3px;margin-bottom:-3px;border-radius:5px;"
    "background:qradialgradient(spread:pad,cx:0.5,cy:0.5,radius:0.5,fx:0.5,fy:0.5,"
    "stop:0.6 #45ADED,stop:0.778409 rgba(255,255,255,255));}"
    "QSlider::handle:horizontal:hover{background:qradialgradient(spread:pad,cx:0.5,cy:0.5,radius:0.5,"
    "fx:0.5,fy:0.5,stop:0.6 #2A8BDA,stop:0.778409 rgba(255,255,255,255));}";

inline constexpr const char* blackSlider = "QSlider{background:rgb(0,0,0);}";

inline constexpr const char* nowPlaying =
    "min-width: 200px; min-height: 50px;max-width:200px; max-height: 50px;border-radius: 20px;  border:2px "
    "solid grey;background-color:rgb(156, 156, 156)";

inline constexpr const char* discMenu =
    "QMenu{background:rgba(0, 0, 0, 80);color: white;}QMenu::item:selected {background-color: rgba(0, 0, "
    "0,120);}";

inline constexpr const char* titleMenu =
    "QMenu{background:rgba(255, 255, 255, 255);color: black;}QMenu::item:selected {background-color: "
    "rgba(0, 0, 0,30);}";

inline constexpr const char* menuButton =
    "QPushButton{border-style:outset;text-align:center;}"
    "QPushButton:hover{border:1px groove rgb(153, 157, 169);}"
    "QPushButton:pressed{border:1px groove rgb(153, 157, 169);border-style:inset;}"
    "QPushButton::menu-indicator{image:None;}";

} // namespace kzp::styles
