VERSION 5.00
Object = "{5E9E78A0-531B-11CF-91F6-C2863C385E30}#1.0#0"; "MSFLXGRD.OCX"
Begin VB.Form frmOrder 
   BorderStyle     =   3  'Fixed Dialog
   Caption         =   "New order"
   ClientHeight    =   4890
   ClientLeft      =   45
   ClientTop       =   330
   ClientWidth     =   7185
   LinkTopic       =   "Form1"
   MaxButton       =   0   'False
   MinButton       =   0   'False
   ScaleHeight     =   4890
   ScaleWidth      =   7185
   ShowInTaskbar   =   0   'False
   StartUpPosition =   1  'CenterOwner
   Begin VB.TextBox txtCustomerNo 
      Height          =   315
      Left            =   1560
      TabIndex        =   0
      Top             =   240
      Width           =   1335
   End
   Begin VB.TextBox txtArticleNo 
      Height          =   315
      Left            =   1560
      TabIndex        =   1
      Top             =   720
      Width           =   1335
   End
   Begin VB.TextBox txtQuantity 
      Alignment       =   1  'Right Justify
      Height          =   315
      Left            =   3960
      TabIndex        =   2
      Text            =   "1"
      Top             =   720
      Width           =   735
   End
   Begin VB.CommandButton cmdAddLine 
      Caption         =   "&Add"
      Height          =   315
      Left            =   4920
      TabIndex        =   3
      Top             =   720
      Width           =   975
   End
   Begin MSFlexGridLib.MSFlexGrid grdLines 
      Height          =   2775
      Left            =   240
      TabIndex        =   4
      Top             =   1200
      Width           =   6735
      _ExtentX        =   11880
      _ExtentY        =   4895
      _Version        =   393216
      Cols            =   4
   End
   Begin VB.CommandButton cmdSave 
      Caption         =   "&Save"
      Height          =   375
      Left            =   4560
      TabIndex        =   5
      Top             =   4320
      Width           =   1095
   End
   Begin VB.CommandButton cmdCancel 
      Cancel          =   -1  'True
      Caption         =   "Cancel"
      Height          =   375
      Left            =   5880
      TabIndex        =   6
      Top             =   4320
      Width           =   1095
   End
   Begin VB.Label lblTotal 
      Alignment       =   1  'Right Justify
      Caption         =   "0.00"
      Height          =   255
      Left            =   240
      TabIndex        =   8
      Top             =   4380
      Width           =   2175
   End
   Begin VB.Label lblCustomer 
      Caption         =   "Customer no.:"
      Height          =   255
      Left            =   240
      TabIndex        =   7
      Top             =   270
      Width           =   1215
   End
End
Attribute VB_Name = "frmOrder"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
Option Explicit

Private mOrder As clsOrder

Private Sub Form_Load()
    Set mOrder = New clsOrder
    grdLines.FormatString = "Article|Description|<Qty|>Price"
    ShowTotal
End Sub

Private Sub txtCustomerNo_Validate(Cancel As Integer)
    Dim Customer As clsCustomer

    If Len(txtCustomerNo.Text) = 0 Then Exit Sub
    Set Customer = New clsCustomer
    If Customer.Load(Val(txtCustomerNo.Text)) Then
        Set mOrder.Customer = Customer
        lblCustomer.Caption = Customer.CompanyName
    Else
        MsgBox "There is no customer " & txtCustomerNo.Text & ".", vbExclamation, APP_TITLE
        Cancel = True
    End If
End Sub

Private Sub cmdAddLine_Click()
    Dim Price As Currency

    On Error GoTo AddFailed
    Price = ArticlePrice(txtArticleNo.Text)
    If Not mOrder.AddLine(txtArticleNo.Text, Val(txtQuantity.Text), Price) Is Nothing Then
        grdLines.AddItem txtArticleNo.Text & vbTab & "" & vbTab & txtQuantity.Text & vbTab & Format$(Price, "0.00")
        ShowTotal
    End If
    Exit Sub

AddFailed:
    LogError "frmOrder.cmdAddLine_Click", Err.Number, Err.Description
    MsgBox Err.Description, vbExclamation, APP_TITLE
End Sub

Private Sub cmdSave_Click()
    If Not mOrder.Customer.CanOrder(mOrder.GrossTotal) Then
        MsgBox "This order exceeds the customer's credit limit.", vbExclamation, APP_TITLE
        Exit Sub
    End If
    If mOrder.Save() Then
        MsgBox "Order " & mOrder.OrderNo & " saved.", vbInformation, APP_TITLE
        Unload Me
    End If
End Sub

Private Sub cmdCancel_Click()
    LogMessage "Order entry cancelled", llInfo
    Unload Me
End Sub

Private Sub ShowTotal()
    lblTotal.Caption = "Total: " & Format$(mOrder.GrossTotal, "#,##0.00")
End Sub

Private Function ArticlePrice(ByVal ArticleNo As String) As Currency
    Dim Rs As ADODB.Recordset
    Set Rs = RunQuery("SELECT UnitPrice FROM Articles WHERE ArticleNo = ?", ArticleNo)
    If Rs.EOF Then Err.Raise vbObjectError + 2001, "ArticlePrice", "Unknown article " & ArticleNo
    ArticlePrice = Rs!UnitPrice
    Rs.Close
End Function
