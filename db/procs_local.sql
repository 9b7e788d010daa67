-- Stored procedures of the branch's database besides the sales pair: the clearing of
-- the reconciliation act.

-- PROC DelXXX
DELETE FROM XXX WHERE X_USER=@User_NID;
