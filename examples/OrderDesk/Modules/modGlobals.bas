Attribute VB_Name = "modGlobals"
'------------------------------------------------------------------
' modGlobals - application-wide constants and the start-up routine.
'------------------------------------------------------------------
Option Explicit

Public Const APP_TITLE As String = "Order Desk"
Public Const VAT_RATE As Currency = 0.2
Public Const MAX_LINES_PER_ORDER As Integer = 99

Public gCurrentUser As String
Public gConnectionString As String

Private Declare Function GetUserName Lib "advapi32.dll" Alias "GetUserNameA" _
    (ByVal lpBuffer As String, nSize As Long) As Long

Public Sub Main()
    gCurrentUser = CurrentUserName()
    InitLog App.Path & "\OrderDesk.log"
    gConnectionString = ReadSetting("Database", "ConnectionString", _
        "Provider=SQLOLEDB;Data Source=(local);Initial Catalog=OrderDesk;Integrated Security=SSPI")

    If Not OpenDatabase(gConnectionString) Then
        MsgBox "The order database cannot be reached." & vbCrLf & _
               "Please call the help desk.", vbCritical, APP_TITLE
        LogMessage "Start-up stopped: no database", llError
        Exit Sub
    End If

    LogMessage "Order Desk started", llInfo
    frmMain.Show
End Sub

Public Function CurrentUserName() As String
    Dim Buffer As String
    Dim Size As Long

    Size = 255
    Buffer = String$(Size, vbNullChar)
    If GetUserName(Buffer, Size) <> 0 Then
        CurrentUserName = Left$(Buffer, Size - 1)
    Else
        CurrentUserName = "unknown"
    End If
End Function

Public Function ReadSetting(ByVal Section As String, ByVal Key As String, _
                            ByVal DefaultValue As String) As String
    ReadSetting = GetSetting(APP_TITLE, Section, Key, DefaultValue)
End Function
