' A short POS session through our Control Object as a script client makes it:
' late binding, and every variable passed by reference as a VARIANT.
'   cscript //nologo pos-session.vbs [device]     (device: VX-CDUSB by default)
' The drawer must close by itself after it opens (the virtual drawer's
' AUTOCLOSE). Exits 0 when every step answered as expected; otherwise names
' the step and exits 1.
Option Explicit
' Wine's cscript ends at an uncaught error silently, with exit code 0.
On Error Resume Next

Const kPollSeconds = 20

Dim device, co, data, text, started
device = "VX-CDUSB"
If WScript.Arguments.Count > 0 Then device = WScript.Arguments(0)

Sub Fail(message)
    WScript.Echo "session FAILED: " & message
    WScript.Quit 1
End Sub

' After each call: no Automation error, and the ResultCode expected.
Sub Expect(what, code)
    If Err.Number <> 0 Then Fail what & ": error " & Err.Number & " " & Err.Description
    If co.ResultCode <> code Then Fail what & ": ResultCode " & co.ResultCode & ", expected " & code
End Sub

Function SecondsSince(t)
    SecondsSince = Timer - t
    If SecondsSince < 0 Then SecondsSince = SecondsSince + 86400 ' past midnight
End Function

Set co = CreateObject("OPOS.CashDrawer")
If Err.Number <> 0 Then Fail "CreateObject: error " & Err.Number & " " & Err.Description

co.Open device
Expect "Open", 0
co.Claim 1000
Expect "Claim", 0
co.DeviceEnabled = True
Expect "DeviceEnabled", 0

co.OpenDrawer
Expect "OpenDrawer", 0
started = Timer
Do Until co.DrawerOpened
    If Err.Number <> 0 Then Fail "DrawerOpened: error " & Err.Number & " " & Err.Description
    If SecondsSince(started) > kPollSeconds Then Fail "DrawerOpened still False after " & kPollSeconds & " s"
Loop

' The service supports these in form only: 106 (illegal) is their answer.
co.CheckHealth 1
Expect "CheckHealth", 106
co.RetrieveStatistics text
Expect "RetrieveStatistics", 0
If TypeName(text) <> "String" Or Left(text, 5) <> "<?xml" Then Fail "RetrieveStatistics gave " & TypeName(text)
data = 0
text = ""
co.DirectIO 1, data, text
Expect "DirectIO", 106
If TypeName(data) <> "Long" Then Fail "DirectIO left data as " & TypeName(data)

co.WaitForDrawerClose 60000, 1000, 100, 500
Expect "WaitForDrawerClose", 0
If co.DrawerOpened Then Fail "the drawer is still open after WaitForDrawerClose"

co.ReleaseDevice
Expect "ReleaseDevice", 0
co.Close
Expect "Close", 0
WScript.Echo "session passed"
WScript.Quit 0
