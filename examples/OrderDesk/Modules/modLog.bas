Attribute VB_Name = "modLog"
'------------------------------------------------------------------
' modLog - writes one line per event to the OrderDesk log file.
' Every part of the application reports through LogMessage so that
' support can follow what a user did before a problem.
'------------------------------------------------------------------
Option Explicit

Public Enum LogLevel
    llInfo = 0
    llWarning = 1
    llError = 2
End Enum

Private mLogFile As String
Private mMinLevel As LogLevel

Public Sub InitLog(ByVal FileName As String, Optional ByVal MinLevel As LogLevel = llInfo)
    mLogFile = FileName
    mMinLevel = MinLevel
    LogMessage "Log opened by " & CurrentUserName(), llInfo
End Sub

Public Sub LogMessage(ByVal Text As String, Optional ByVal Level As LogLevel = llInfo)
    Dim hFile As Integer

    If Level < mMinLevel Then Exit Sub
    If Len(mLogFile) = 0 Then mLogFile = App.Path & "\OrderDesk.log"

    On Error GoTo WriteFailed
    hFile = FreeFile
    Open mLogFile For Append As #hFile
    Print #hFile, Format$(Now, "yyyy-mm-dd hh:nn:ss") & vbTab & LevelName(Level) & vbTab & Text
    Close #hFile
    Exit Sub

WriteFailed:
    ' A log that cannot be written must never stop an order being taken.
    Debug.Print "LogMessage failed: " & Err.Description
End Sub

Public Sub LogError(ByVal Source As String, ByVal ErrNumber As Long, ByVal Description As String)
    LogMessage Source & " failed: error " & CStr(ErrNumber) & " - " & Description, llError
End Sub

Private Function LevelName(ByVal Level As LogLevel) As String
    Select Case Level
        Case llWarning: LevelName = "WARN"
        Case llError: LevelName = "ERROR"
        Case Else: LevelName = "INFO"
    End Select
End Function
