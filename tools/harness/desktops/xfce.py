"""Xfce 4.18 on Xvfb: xfwm4, a bottom panel of the row's height with its
systray, xfce4-notifyd.
"""
import os

from ..common import read, wait_for, wm_running
from .session import Setup


XFCE_PANEL = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="%d"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
        <value type="int" value="3"/>
        <value type="int" value="4"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="tasklist"/>
    <property name="plugin-2" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-3" type="string" value="systray"/>
    <property name="plugin-4" type="string" value="clock"/>
  </property>
</channel>
"""


class XfceMixin:
    """Xfce: xfwm4, its panel, xfce4-notifyd."""

    def start_xfce(self):
        conf = os.path.join(self.env["HOME"], ".config", "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(conf)
        with open(os.path.join(conf, "xfce4-panel.xml"), "w") as f:
            f.write(XFCE_PANEL % self.row.panel)
        self.env.update({"XDG_CURRENT_DESKTOP": "XFCE", "NO_AT_BRIDGE": "1"})
        self.update_activation_env("DISPLAY", "XDG_CURRENT_DESKTOP", "NO_AT_BRIDGE")
        self.procs.start("xfwm4", ["xfwm4", "--sm-client-disable", "--compositor=off"], self.env)
        if not wait_for(lambda: wm_running(self.env), 15):
            raise Setup("xfwm4 did not take the screen: " + read(self.path("xfwm4.log"))[-300:])
        self.procs.start("xfce4-panel", ["xfce4-panel", "--disable-wm-check"], self.env)
        want = self.height - self.row.panel
        if not wait_for(lambda: (self.work_area() or (0, 0, 0, 1e9))[3] <= want, 20, 0.3):
            raise Setup("xfce4-panel reserved no space at the bottom (work area %r): %s"
                        % (self.work_area(), read(self.path("xfce4-panel.log"))[-300:]))
        if not wait_for(self.watcher_ready, 15, 0.3):
            raise Setup("the panel's systray registered no StatusNotifier host")
        self.procs.start("xfce4-notifyd", ["/usr/lib/x86_64-linux-gnu/xfce4/notifyd/xfce4-notifyd"], self.env)
        if not wait_for(lambda: self.bus_name_owner("org.freedesktop.Notifications"), 15, 0.3):
            raise Setup("xfce4-notifyd did not take org.freedesktop.Notifications")
