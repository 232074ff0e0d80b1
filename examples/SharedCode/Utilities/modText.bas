Attribute VB_Name = "modText"
'------------------------------------------------------------------
' modText - small text helpers shared by several projects.
'------------------------------------------------------------------
Option Explicit

Public Function QuoteCsv(ByVal Text As String) As String
    If InStr(Text, ";") > 0 Or InStr(Text, """") > 0 Then
        QuoteCsv = """" & Replace(Text, """", """""") & """"
    Else
        QuoteCsv = Text
    End If
End Function

Public Function PadRight(ByVal Text As String, ByVal Width As Integer) As String
    If Len(Text) >= Width Then
        PadRight = Left$(Text, Width)
    Else
        PadRight = Text & Space$(Width - Len(Text))
    End If
End Function

Public Function IsBlank(ByVal Text As String) As Boolean
    IsBlank = (Len(Trim$(Text)) = 0)
End Function
